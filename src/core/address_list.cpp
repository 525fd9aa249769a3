#include "core/address_list.hpp"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

namespace velmira {

std::vector<std::string> local_addresses() {
  std::vector<std::string> addresses;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return addresses;
  for (ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
    if (i->ifa_addr == nullptr) continue;
    char text[INET6_ADDRSTRLEN] = {};
    int family = i->ifa_addr->sa_family;
    const void* raw = family == AF_INET ? static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr)
                      : family == AF_INET6 ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(i->ifa_addr)->sin6_addr)
                                           : nullptr;
    if (raw != nullptr && inet_ntop(family, raw, text, sizeof text) != nullptr) {
      addresses.emplace_back(text);
    }
  }
  freeifaddrs(list);
  return addresses;
}

}  // namespace velmira
