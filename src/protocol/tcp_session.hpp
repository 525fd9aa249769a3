#pragma once
// One client connection of the line protocol: read a line, serve it, write
// the reply, read the next; strictly one request after the other.
#include <boost/asio/ip/tcp.hpp>
#include <functional>
#include <memory>

#include "core/tcp_listener.hpp"

namespace velmira {

class dispatcher;

// A factory for tcp_listener; `d` must outlive every connection it makes.
tcp_listener::connection_factory line_protocol_sessions(dispatcher& d);

}  // namespace velmira
