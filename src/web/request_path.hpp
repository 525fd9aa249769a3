#pragma once
// Turning what arrives on the wire into the Windows-1251 text the file
// service works on. Pure functions, safe from any thread.
#include <string>
#include <string_view>

namespace velmira {

// Bytes from a client as Windows-1251 text: read as UTF-8 when is_valid_utf8
// (core/text_codec) accepts them, otherwise taken as Windows-1251 already.
// Both kinds of client exist: copies of this server send UTF-8, older
// clients their own code page.
std::string text_from_wire(std::string_view bytes);

// The request path of an HTTP request target: the query dropped,
// percent-escapes resolved, the bytes read by text_from_wire. A "%" not
// followed by two hexadecimal digits stays as written. The result still
// begins with the target's first character (normally "/").
std::string decode_request_path(std::string_view target);

}  // namespace velmira
