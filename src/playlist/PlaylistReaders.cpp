#include "playlist/PlaylistReaders.h"

#include "common/Limits.h"
#include "common/TextCodec.h"
#include "playlist/AsxScanner.h"

namespace tapewell {

namespace {

// The readers' room for addresses: a fixed number of slots and one text
// pool, as the owners' tables have.
class AddressCollector {
public:
    explicit AddressCollector(std::function<void(const std::string&)> onAddress)
        : m_onAddress(std::move(onAddress)) {}

    void Add(const std::string& address) {
        if (address.empty() || m_count >= limits::kPlaylistMaxAddresses ||
            address.size() + 1 > limits::kPlaylistAddressTextBytes - m_textUsed) {
            return;
        }
        ++m_count;
        m_textUsed += address.size() + 1;
        m_onAddress(address);
    }
    size_t Count() const { return m_count; }

private:
    std::function<void(const std::string&)> m_onAddress;
    size_t m_count = 0;
    size_t m_textUsed = 0;
};

// The href of tag when its first attribute is an href with a value.
const std::string* FirstHref(const AsxTag& tag) {
    if (tag.attributes.empty()) {
        return nullptr;
    }
    const AsxAttribute& first = tag.attributes.front();
    if (AsciiLower(first.name) != "href" || !first.hasValue) {
        return nullptr;
    }
    return &first.value;
}

size_t ScanForAddresses(std::string_view text, const PlaylistMessageCallback& onMessage,
                        const std::function<void(const std::string&)>& onAddress,
                        std::string* moreInfo) {
    AddressCollector collector(onAddress);
    AsxScanner scanner(
        [&](const AsxTag& tag) {
            const std::string name = AsciiLower(tag.name);
            const std::string* href = FirstHref(tag);
            if (href == nullptr) {
                return;
            }
            if (name == "ref" || name == "entryref") {
                collector.Add(*href);
            } else if (name == "moreinfo" && moreInfo != nullptr) {
                *moreInfo = *href;
            }
        },
        onMessage);
    scanner.Scan(text);
    if (collector.Count() == 0 && text.size() > limits::kPlaylistMinWholeTextBytes) {
        collector.Add(std::string(text));
    }
    return collector.Count();
}

}  // namespace

JobPlaylist ReadJobPlaylist(std::string_view text, const PlaylistMessageCallback& onMessage) {
    JobPlaylist result;
    ScanForAddresses(
        text, onMessage,
        [&result](const std::string& address) { result.addresses.push_back(address); },
        &result.moreInfo);
    return result;
}

size_t ReadListPlaylist(std::string_view text, const PlaylistMessageCallback& onMessage,
                        const std::function<void(const std::string&)>& onAddress) {
    return ScanForAddresses(text, onMessage, onAddress, nullptr);
}

}  // namespace tapewell
