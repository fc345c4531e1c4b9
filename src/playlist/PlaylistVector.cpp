#include "playlist/PlaylistVector.h"

#include "common/Limits.h"

namespace tapewell {

bool PlaylistVector::Append(std::string_view element) {
    if (m_elements.size() >= limits::kAsxVectorSlots ||
        element.size() + 1 > limits::kAsxVectorPoolBytes - m_poolUsed) {
        return false;
    }
    m_elements.emplace_back(element);
    m_poolUsed += element.size() + 1;
    return true;
}

}  // namespace tapewell
