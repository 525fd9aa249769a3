#include "protocol/protocol_stack.hpp"

namespace velmira {

protocol_stack::protocol_stack(protocol_dependencies d)
    : login_(d.users, d.hello),
      games_(d.clock, d.log, std::move(d.draw)),
      summary_(d.data),
      news_(d.data, d.users, summary_, d.log, d.clock, std::move(d.news_seed)),
      publication_(d.data, d.users, summary_, d.log, d.clock),
      admin_(d.access, login_, d.data, d.log, std::move(d.reloads)),
      dispatch_(d.log, command_families{login_, games_, news_, publication_, admin_}, std::move(d.to_operator)) {}

}  // namespace velmira
