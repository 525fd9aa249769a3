#pragma once
// What the editors of a server in remote mode send the master once they
// have saved their copy under remote\: each file with the command that
// tells the master where to store it. Runs on the operator's thread.
#include <string>
#include <vector>

#include "core/data_directory.hpp"
#include "remote_mode/remote_administration.hpp"

namespace velmira {

enum class master_file { users, classrooms, calendar, notes, news };

// Sends remote\<copy> of `file` with its command.
void send_to_master(remote_administration& channel, const data_directory& data, master_file file);

// ZvonkiOtprav: the bell list, every schema of it, then "zvend" with the
// last payload again, which tells the master the bell files are complete.
void ZvonkiOtprav(remote_administration& channel, const data_directory& data,
                  const std::vector<std::string>& schema_names);

}  // namespace velmira
