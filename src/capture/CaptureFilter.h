#pragma once

// What every live capture shares, the core's own and the capture helper's:
// the helper includes this header alone, so it holds plain constants only.
namespace tapewell::capture {

// Only the traffic the sniffer can use leaves the kernel: TCP on the web,
// RTSP and MMS ports, plain or inside a PPPoE session. Everything else on
// the wire (a busy machine's downloads, its video calls) is dropped there
// rather than copied to us and thrown away.
inline constexpr char kCaptureFilter[] =
    "tcp and (port 80 or port 8080 or port 554 or port 1755)"
    " or (pppoes and tcp and (port 80 or port 8080 or port 554 or port 1755))";

// A device read returns at least this often, so a capture notices a stop or
// a closed reader on an idle network.
inline constexpr int kReadTimeoutMs = 1000;

// Appended to libpcap's words when the kernel refused to open a device,
// followed by the path of the program that needs the capability.
// cap_net_raw is all a packet socket needs; "=ep" makes it effective at
// start without letting the program hand it on.
inline constexpr char kGrantCaptureHint[] =
    "\nCapturing needs root or the cap_net_raw capability; grant it with:\n"
    "  sudo setcap cap_net_raw=ep ";

}  // namespace tapewell::capture
