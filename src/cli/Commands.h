#pragma once

#include <span>

namespace tapewell::cli {

// Each command takes the arguments after its name and returns the exit code.
int RunCut(std::span<char* const> args);
int RunInfo(std::span<char* const> args);
int RunResumeScan(std::span<char* const> args);
int RunCapture(std::span<char* const> args);
int RunSnapshot(std::span<char* const> args);
int RunPlay(std::span<char* const> args);
int RunMmsRecord(std::span<char* const> args);
int RunHttpRecord(std::span<char* const> args);
int RunList(std::span<char* const> args);
int RunAsx(std::span<char* const> args);
int RunPlaylist(std::span<char* const> args);
int RunWebFetch(std::span<char* const> args);
int RunRecord(std::span<char* const> args);
int RunProbe(std::span<char* const> args);
int RunFileTypes(std::span<char* const> args);

}  // namespace tapewell::cli
