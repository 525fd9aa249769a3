#pragma once
#include <string>
#include <vector>

namespace velmira {

// The machine's IPv4 and IPv6 addresses, loopback included, as text.
std::vector<std::string> local_addresses();

}  // namespace velmira
