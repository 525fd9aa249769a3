#pragma once
// The two pre-joined parts of the log-in reply, built from the settings at
// start-up and on a switch to local mode only.
#include <string>

#include "core/settings_page.hpp"

namespace velmira {

struct greeting {
  std::string soob_connect1;  // fields 1-7, each followed by "$"
  std::string soob_connect2;  // fields 9-12, each followed by "$"
};

// `calendar_off_flag` is what the calendar field holds while the schedule is
// off: "0" at start-up, empty on a switch to local mode.
greeting build_greeting(const settings_page& page, const std::string& organisation,
                        const std::string& calendar_off_flag);

}  // namespace velmira
