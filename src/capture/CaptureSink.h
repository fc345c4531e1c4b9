#pragma once

#include <string>

namespace tapewell {

// Where URL capture hands what it finds: the record list's row operations of
// the same names. Every call comes from the capture's receive thread; the
// owner decides how to serialise them (the desktop program re-posts them to
// its UI thread, the CLI prints under a lock).
class CaptureSink {
public:
    virtual ~CaptureSink() = default;

    // A stream address was seen. Capture passes an empty name and size
    // option; the agent is the player identification of an MMS session and
    // empty otherwise. The same address can come again: the owner ignores
    // an address it already has, as the record list does.
    virtual void AddItem(const std::string& address, const std::string& name,
                         const std::string& sizeOption, const std::string& agent) = 0;

    // The stream at `address` carries this title.
    virtual void RenameByAddress(const std::string& address, const std::string& name) = 0;

    // The receive thread has ended and released the device: after a stop or
    // at the end of a capture file with an empty error, or with libpcap's
    // error text when reading failed. A capture file cut off inside a frame
    // ends without an error and with a warning for the user that says so.
    // No call follows this one.
    virtual void OnCaptureEnd(const std::string& error, const std::string& warning) = 0;
};

}  // namespace tapewell
