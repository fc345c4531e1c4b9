#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tapewell {

// The argument vector a playlist becomes for the HTTP streaming engine,
// with the room the engine's vector has: limits::kAsxVectorSlots elements
// sharing one limits::kAsxVectorPoolBytes text pool, each element with its
// terminator. An element that does not fit is dropped whole (a cut address
// would name something else). Used on one thread.
class PlaylistVector {
public:
    // False when the element was dropped.
    bool Append(std::string_view element);
    const std::vector<std::string>& Elements() const { return m_elements; }

private:
    std::vector<std::string> m_elements;
    size_t m_poolUsed = 0;
};

}  // namespace tapewell
