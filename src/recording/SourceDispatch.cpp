// RecordSource and TryEngines: what an address is, where it is written,
// what happens to a file that is already there, and which engines try it.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <system_error>
#include <utility>

#include "asf/AsfResumeScan.h"
#include "asf/RecordingContinuation.h"
#include "asf/RecordingFinish.h"
#include "asf/StreamSelection.h"
#include "common/ByteSource.h"
#include "common/FileLock.h"
#include "common/Limits.h"
#include "common/OutputFile.h"
#include "recording/CmmsThread.h"
#include "recording/JobSink.h"
#include "recording/OutputPaths.h"
#include "recording/SourceFlags.h"

namespace tapewell {
namespace {

constexpr const char* kFileCreationError = "File Creation Error";
constexpr const char* kPlaylistLoopError = "playlist refers to itself";
constexpr const char* kPlaylistDepthError = "playlists nested too deep";
constexpr const char* kPlaylistCountError = "too many playlists";
// How much of a short download is looked at to tell a page of text from
// media.
constexpr size_t kTextSniffBytes = 1024;

// The error's own text first, as the list shows it, then which file and why.
std::string FileCreationError(const std::filesystem::path& path, const std::string& reason) {
    return std::string(kFileCreationError) + ": " + path.string() + ": " + reason;
}

// "rtsp://" becomes "mms://" for the classification only: an RTSP address
// of a Windows Media server names the same stream as its MMS one.
std::string ClassificationCopy(std::string address) {
    for (size_t at = address.find("rtsp://"); at != std::string::npos;
         at = address.find("rtsp://", at)) {
        address.replace(at, 7, "mms://");
    }
    return address;
}

// Whether the file begins as a page of text (an HTML error page, a server's
// message) rather than as binary media.
bool LooksLikeText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::array<char, kTextSniffBytes> head{};
    in.read(head.data(), head.size());
    const auto n = static_cast<size_t>(in.gcount());
    return std::all_of(head.begin(), head.begin() + static_cast<ptrdiff_t>(n), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 || byte == '\t' || byte == '\n' || byte == '\r';
    });
}

// Whether a Streams text asks for some of a stream's streams (or cannot be
// read), rather than for all of them.
bool ChoosesStreams(const std::string& text) {
    const ErrorOr<StreamChoice> choice = ParseStreamChoice(text);
    return !choice || !choice->KeepsAll();
}

}  // namespace

void CmmsThread::RecordSource(const std::string& address, const std::string& name) {
    const std::string copy = ClassificationCopy(address);
    if (IsPlaylistSource(SourceFlags(copy))) {
        if (std::find(m_playlistChain.begin(), m_playlistChain.end(), address) !=
            m_playlistChain.end()) {
            SetError(kPlaylistLoopError);
            return;
        }
        if (m_playlistDepth > limits::kMaxPlaylistDepth) {
            SetError(kPlaylistDepthError);  // a chain of playlists that never reaches media
            return;
        }
        if (m_playlistsRecorded >= limits::kMaxPlaylistsPerWalk) {
            SetError(kPlaylistCountError);
            return;
        }
        ++m_playlistsRecorded;
        ++m_playlistDepth;
        m_playlistChain.push_back(address);
        if (copy.find("mms") != std::string::npos || copy.find("http") != std::string::npos) {
            RecordRemotePlaylist(address);
        } else {
            RecordPlaylistFile(address);
        }
        m_playlistChain.pop_back();
        --m_playlistDepth;
        return;
    }
    RecordMedia(address, name);
}

// A remote playlist is downloaded into the base folder and read from there.
void CmmsThread::RecordRemotePlaylist(const std::string& address) {
    std::filesystem::path path = MakeOutputPath(m_settings.m_baseDirectory, address, "");
    SetOutputPath(path);
    std::string failure;
    std::unique_ptr<StdioOutputFile> file = OpenOrAskSaveAs(path, failure);
    if (!file) {
        SetError(failure);
        return;
    }
    SetOutputPath(path);
    // A playlist file is read only below this size, so a reply that goes on
    // and on is not downloaded past it.
    m_web.SetMaxBytes(limits::kJobPlaylistFileBytes - 1);
    TakeEnding(RunEngine(m_web, EngineRequest{file.get(), address, m_playerAgent, 0, 0, "", ""}));
    m_web.SetMaxBytes(0);
    file->Close();
    if (m_stop.load()) {
        return;
    }
    RecordPlaylistFile(path);
}

void CmmsThread::RecordMedia(const std::string& address, const std::string& name) {
    std::filesystem::path path = MakeOutputPath(m_settings.m_baseDirectory, address, name);
    SetOutputPath(path);
    // The counts describe this file: a playlist's earlier entry must not
    // make a short one look large enough to keep.
    m_bytesWritten.store(0);
    m_progress.store(0);
    m_positionMs.store(0);
    // A list row may hold any text: one that names no streams fails before
    // a file is made.
    if (const ErrorOr<StreamChoice> choice = ParseStreamChoice(m_streams); !choice) {
        SetError("Streams: " + choice.error().message);
        return;
    }
    std::unique_ptr<StdioOutputFile> file;
    uint64_t resumeOffset = 0;
    uint32_t resumePackets = 0;
    std::error_code error;
    if (std::filesystem::exists(path, error) &&
        SettleExistingFile(path, file, resumeOffset, resumePackets) == Settle::End) {
        return;
    }
    const bool created = !file;
    if (!file) {
        std::string failure;
        file = OpenOrAskSaveAs(path, failure);
        if (!file) {
            SetError(failure);
            return;
        }
    }
    SetOutputPath(path);
    m_recordingPath = path;
    // Held until the header is final: a player reading the growing file
    // knows by it that more is coming. Without it the file only reads as
    // finished, which costs a time-shift viewer the live end, nothing else.
    const ErrorOr<FileLock> writing = FileLock::Exclusive(path);
    m_reconnects.store(0);
    TryEngines(file.get(), address, resumeOffset, resumePackets);
    Reconnect(file, address);
    // A full disk ends a recording that an engine may still count as a
    // success, or report only as a failed header repair: name the cause.
    if (!file->Close() || !file->FailureText().empty()) {
        SetError("write error: " + file->FailureText());
    }
    // A file that the stream continued from after a change of layout is a
    // recording, however short.
    const bool continued = !m_furtherFiles.empty();
    CloseFurtherFiles();
    // A file this job created and nothing went into (a page that only named
    // another address, a failed connection) is no recording.
    if (created && std::filesystem::file_size(path, error) == 0 && !error) {
        std::filesystem::remove(path, error);
        return;
    }
    const bool recording = FinishFile(path);
    if (!continued && !recording) {
        DeleteIfTooSmall(address, path);
    }
}

// Whatever ended the recording, its header is made to describe what the
// file holds. True when the file is an ASF recording with at least one
// whole packet: media, however short.
bool CmmsThread::FinishFile(const std::filesystem::path& path) {
    const FinishReport report = FinishRecording(path);
    if (!report.failure.empty() && !m_error.load()) {
        SetError(report.failure);
    }
    return report.kind == FinishReport::Kind::Whole || report.kind == FinishReport::Kind::Partial;
}

CmmsThread::Settle CmmsThread::SettleExistingFile(std::filesystem::path& path,
                                                  std::unique_ptr<StdioOutputFile>& file,
                                                  uint64_t& resumeOffset, uint32_t& resumePackets) {
    AsfResumeScan scan;
    // Declining the resume loses nothing: the file is then treated as one
    // that cannot be resumed, with the same question before it is touched.
    // A recording of chosen streams is never resumed: the server's packet
    // numbers and byte offsets do not count what its file holds.
    if (!ChoosesStreams(m_streams) && scan.ScanPartialFile(path) &&
        (!m_settings.m_resumeConfirm || m_prompt->AskResume(path))) {
        resumePackets = scan.GetResumePacketCount();
        // With no packet to keep, the header is all there is, and an engine
        // told to continue after packet 0 writes no header: start over
        // instead, or the header would be written a second time after the
        // first.
        resumeOffset = resumePackets == 0 ? 0 : scan.GetResumeOffset();
        return OpenForResume(path, resumeOffset, file);
    }
    if (m_settings.m_overwriteConfirm) {
        return AskAboutExistingFile(path);
    }
    const std::optional<std::filesystem::path> unique = MakeUniquePath(path);
    if (!unique) {
        // Every "(n)" name is taken: overwrite none.
        SetError(FileCreationError(path, std::strerror(EEXIST)));
        return Settle::End;
    }
    path = *unique;
    return Settle::Go;
}

// The engines continue at the end of the file, so the tail after the
// resume offset (the last whole packet and any part of the next, which the
// interrupted recording may have left) is cut off first.
CmmsThread::Settle CmmsThread::OpenForResume(const std::filesystem::path& path, uint64_t offset,
                                             std::unique_ptr<StdioOutputFile>& file) {
    std::error_code error;
    std::filesystem::resize_file(path, offset, error);
    if (error) {
        SetError(FileCreationError(path, error.message()));
        return Settle::End;
    }
    file = StdioOutputFile::Open(path, "rb+");
    const int openError = errno;
    if (!file || !file->Seek(offset)) {
        SetError(FileCreationError(path, file ? "cannot seek" : std::strerror(openError)));
        file.reset();
        return Settle::End;
    }
    return Settle::Go;
}

CmmsThread::Settle CmmsThread::AskAboutExistingFile(std::filesystem::path& path) {
    if (PassAll().load()) {
        EndStop(JobSink::kSkipped);
        return Settle::End;
    }
    const JobPrompt::ExistsChoice choice = m_prompt->AskFileExists(path);
    switch (choice.answer) {
        case JobPrompt::ExistsAnswer::Ok:
            return Settle::Go;
        case JobPrompt::ExistsAnswer::SaveAs: {
            const std::optional<std::filesystem::path> chosen = m_prompt->AskSaveAsPath(path);
            if (!chosen) {
                m_stop.store(true);
                return Settle::End;
            }
            path = *chosen;
            SetOutputPath(path);
            return Settle::Go;
        }
        case JobPrompt::ExistsAnswer::Pass:
            EndStop(JobSink::kSkipped);
            PassAll().store(choice.all);
            return Settle::End;
        case JobPrompt::ExistsAnswer::Quit:
            EndStop(JobSink::kQuitAll);
            return Settle::End;
        case JobPrompt::ExistsAnswer::Cancel:
            break;
    }
    m_stop.store(true);
    return Settle::End;
}

// Notifies the owner, then stops the job: the item ends as cancelled.
void CmmsThread::EndStop(int code) {
    Notify(code);
    m_stop.store(true);
}

std::unique_ptr<StdioOutputFile> CmmsThread::OpenOrAskSaveAs(std::filesystem::path& path,
                                                             std::string& failure) {
    std::unique_ptr<StdioOutputFile> file = StdioOutputFile::Open(path, "wb");
    if (file) {
        return file;
    }
    failure = FileCreationError(path, std::strerror(errno));
    const std::optional<std::filesystem::path> chosen = m_prompt->AskSaveAsPath(path);
    if (!chosen) {
        return nullptr;
    }
    path = *chosen;
    file = StdioOutputFile::Open(path, "wb");
    if (!file) {
        failure = FileCreationError(path, std::strerror(errno));
    }
    return file;
}

// MMS goes first for an address that names it; otherwise the HTTP
// streaming engine comes before the web fetcher for a Windows Media type,
// after it for anything else, and MMS is tried last.
std::array<Engine*, 3> CmmsThread::EngineOrder(const std::string& address) {
    const unsigned flags = EngineFlags(address);
    Engine* second = &m_web;
    Engine* third = &m_http;
    if ((flags & kEngineWindowsMedia) != 0) {
        std::swap(second, third);
    }
    if ((flags & kEngineMms) != 0) {
        return {&m_mms, second, third};
    }
    return {second, third, &m_mms};
}

bool CmmsThread::TryEngines(OutputFile* output, const std::string& address, uint64_t resumeOffset,
                            uint32_t resumePackets) {
    const std::array<Engine*, 3> order = EngineOrder(address);
    m_reachedEngine = nullptr;
    m_brokeOff = false;
    bool reached = false;
    std::string firstReason;  // why the engine the address chose first failed
    const uint32_t foundBefore = m_urlsFound;
    bool httpAnswered = false;  // an HTTP server answered on the address's port
    // An engine reached the stream and it cannot give the chosen streams:
    // the web fetcher would download every stream, the others would not do
    // better.
    bool refused = false;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0) {
            // MMS sent to a port where an HTTP server has answered (a 404, a
            // refusal) would only wait for a reply that never comes.
            if (reached || refused || m_giveUp.load() || m_stop.load() ||
                (order[i] == &m_mms && httpAnswered)) {
                break;
            }
            if (firstReason.empty()) {
                firstReason = ErrorText();
            }
            ClearError();
        }
        // Credentials an engine before obtained count for the next one.
        const EngineResult result =
            RunEngine(*order[i], EngineRequest{output, address, m_playerAgent, resumeOffset,
                                               resumePackets, User(), Password(), m_streams});
        reached = TakeEnding(result);
        httpAnswered = httpAnswered || result.httpAnswered;
        refused = result.refused;
        if (reached && order[i] != &m_web) {
            m_reachedEngine = order[i];
            m_brokeOff = !result.recording->brokeOff.empty();
        }
    }
    // When every engine failed, the reason of the one the address chose
    // first is the one that tells the user something: the later ones only
    // tried a dialect the server does not speak (MMS sent to an HTTP port
    // ends in a time-out), or failed without a word. A question the user
    // cancelled keeps its own reason.
    if (!reached && !refused && !m_stop.load() && !m_giveUp.load() && m_urlsFound == foundBefore &&
        !firstReason.empty()) {
        SetError(firstReason);
    }
    return reached;
}

EngineResult CmmsThread::RunEngine(Engine& engine, const EngineRequest& request) {
    m_failedInRun = false;
    EngineResult result = engine.Record(request);
    // When the job itself failed the run (no next file), its reason is why
    // the run ended: the engine's does not replace it.
    if (m_failedInRun && result.recording) {
        result.recording->brokeOff.clear();
    } else if (m_failedInRun) {
        result.recording = tapewell::Error{};
    }
    return result;
}

// Takes the run's reason into the job's error; true when the engine reached
// the address. A stream that broke off is kept (it can be resumed), but it
// is not a finished recording.
bool CmmsThread::TakeEnding(const EngineResult& result) {
    if (!result.recording) {
        const std::string& reason = result.recording.error().message;
        if (!reason.empty() && !(result.tentativeReason && m_error.load())) {
            SetError(reason);
        }
        return false;
    }
    if (!result.recording->brokeOff.empty()) {
        SetError(result.recording->brokeOff);
    }
    return true;
}

// A stream that broke off is run again with the engine that reached it,
// into the file it was writing (the last one, after a change of layout),
// for as long as the settings allow tries in a row that record nothing.
// A stop, a limit, the stream's own end, a cancelled credentials question
// or a give-up end it; so does a file that can no longer be written. The
// error the job ends with is the last try's reason when it gave up, none
// when the recording ended well or was stopped.
void CmmsThread::Reconnect(std::unique_ptr<StdioOutputFile>& file, const std::string& address) {
    const auto tries = static_cast<uint32_t>(std::max(0, m_settings.m_reconnectTries));
    while (m_brokeOff && m_reachedEngine != nullptr && !m_stop.load() && !m_giveUp.load()) {
        const uint32_t attempt = m_reconnects.load() + 1;
        if (attempt > tries) {
            return;
        }
        std::optional<RecordingContinuation> continuation;
        StdioOutputFile* output = ReopenToContinue(file, continuation);
        if (output == nullptr) {
            return;
        }
        if (LimitReachedBy(*continuation)) {
            ClearError();  // the break came with the last packet the limit let in
            return;
        }
        m_reconnects.store(attempt);
        Notify(JobSink::kReconnecting);
        if (!WaitBeforeReconnect(attempt)) {
            ClearError();  // stopped: what was recorded is the recording
            return;
        }
        ClearError();
        m_continuing = true;
        EngineRequest request{output, address, m_playerAgent, 0, 0, User(), Password(), m_streams};
        request.continuation = &*continuation;
        const EngineResult result = RunEngine(*m_reachedEngine, request);
        m_continuing = false;
        // A try that reached nothing counts toward the tries; one that
        // recorded media reset the count as they came (OnProgress). One the
        // stream refused ends them: the next would be refused too.
        const bool reached = TakeEnding(result);
        m_brokeOff = !result.refused && (!reached || !result.recording->brokeOff.empty());
    }
}

// The engines' writes are buffered: the file is closed and read back for
// where it stands, then opened again at its data end. Nothing when it
// cannot be continued (the reason is the job's error).
StdioOutputFile* CmmsThread::ReopenToContinue(std::unique_ptr<StdioOutputFile>& file,
                                              std::optional<RecordingContinuation>& continuation) {
    std::unique_ptr<StdioOutputFile>& current =
        m_furtherFiles.empty() ? file : m_furtherFiles.back();
    const std::filesystem::path path =
        m_furtherFiles.empty() ? m_recordingPath : m_furtherPaths.back();
    if (!current->Close() || !current->FailureText().empty()) {
        SetError("write error: " + current->FailureText());
        return nullptr;
    }
    ErrorOr<FileSource> source = FileSource::Open(path);
    if (!source) {
        SetError(FileCreationError(path, source.error().message));
        return nullptr;
    }
    ErrorOr<RecordingContinuation> read = ReadContinuation(*source);
    if (!read) {
        SetError(path.string() + ": " + read.error().message);
        return nullptr;
    }
    continuation = std::move(*read);
    std::unique_ptr<StdioOutputFile> reopened = StdioOutputFile::Open(path, "rb+");
    const int openError = errno;
    if (!reopened || !reopened->Seek(continuation->DataEnd())) {
        SetError(FileCreationError(path, reopened ? "cannot seek" : std::strerror(openError)));
        return nullptr;
    }
    current = std::move(reopened);
    return current.get();
}

// Whether the file already holds what the time or size limit allows: a
// reconnect would only end again at once.
bool CmmsThread::LimitReachedBy(const RecordingContinuation& continuation) const {
    constexpr uint64_t kMiB = 1u << 20;
    return (m_settings.m_timeLimitOn &&
            continuation.lastSendTime / 1000 >=
                static_cast<uint64_t>(std::max(0, m_settings.m_maxTimeSeconds))) ||
           (m_settings.m_sizeLimitOn &&
            continuation.DataEnd() / kMiB >=
                static_cast<uint64_t>(std::max(0, m_settings.m_maxSizeMiB)));
}

OutputFile* CmmsThread::OnNextOutputFile() {
    const std::filesystem::path base = m_recordingPath.empty() ? OutputPath() : m_recordingPath;
    const std::optional<std::filesystem::path> unique = MakeUniquePath(base);
    if (!unique) {
        // Every "(n)" name is taken: overwrite none.
        SetError(FileCreationError(base, std::strerror(EEXIST)));
        m_failedInRun = true;
        return nullptr;
    }
    std::filesystem::path path = *unique;
    std::string failure;
    std::unique_ptr<StdioOutputFile> file = OpenOrAskSaveAs(path, failure);
    if (!file) {
        SetError(failure);
        m_failedInRun = true;
        return nullptr;
    }
    m_furtherFiles.push_back(std::move(file));
    m_furtherPaths.push_back(path);
    SetOutputPath(path);
    m_continuing = false;  // the new file's header is news
    Notify(JobSink::kNewFile);
    return m_furtherFiles.back().get();
}

void CmmsThread::CloseFurtherFiles() {
    for (size_t i = 0; i < m_furtherFiles.size(); ++i) {
        std::unique_ptr<StdioOutputFile>& file = m_furtherFiles[i];
        if ((!file->Close() || !file->FailureText().empty()) && !m_error.load()) {
            SetError("write error: " + file->FailureText());
        }
        FinishFile(m_furtherPaths[i]);
    }
    m_furtherFiles.clear();
    m_furtherPaths.clear();
}

// A short "download" of a media type is usually an error page served in
// place of the media. Called only for files that are not ASF recordings
// (those are kept however short). A recording the user stopped, or a
// resumed file that already held more, is kept; so is a short file of
// another media type that is not text.
void CmmsThread::DeleteIfTooSmall(const std::string& address, const std::filesystem::path& path) {
    const unsigned flags = EngineFlags(address);
    const bool otherMedia = (flags & kEngineOtherMedia) != 0;
    const bool mediaType = otherMedia || ((flags & kEngineWindowsMedia) != 0 && !m_giveUp.load());
    if (!mediaType || m_stop.load() || m_bytesWritten.load() >= limits::kTooSmallRecordingBytes ||
        (otherMedia && !LooksLikeText(path))) {
        return;
    }
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size >= limits::kTooSmallRecordingBytes) {
        return;
    }
    std::filesystem::remove(path, error);
    if (ErrorText().empty()) {
        SetError("recording too small, deleted");
    }
    m_error.store(true);
}

}  // namespace tapewell
