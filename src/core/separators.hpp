#pragma once
// Separators of the wire and file formats, defined once for every subsystem.

namespace velmira {

// Between the fields of a request and the records of announcements.
inline constexpr char simv = '\v';

}  // namespace velmira
