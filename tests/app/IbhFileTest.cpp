#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "app/IbhFile.h"
#include "app/ListFiles.h"
#include "app/RecordList.h"
#include "app/ScriptedListPrompt.h"
#include "common/TextCodec.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& bytes, size_t offset, const Bytes& text) {
    ASSERT_LE(offset + text.size(), bytes.size());
    std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}
void Put(Bytes& bytes, size_t offset, std::string_view text) {
    Put(bytes, offset, Bytes(text.begin(), text.end()));
}
Bytes Cp949(std::string_view text) {
    return Utf8ToCp949(text).value_or(Bytes{});
}

// The header of the table: version, protocol, title, user, password.
Bytes Header(std::string_view title, const Bytes& cp949Title = {}) {
    Bytes bytes(224, 0);
    Put(bytes, 0, "0.1b");
    Put(bytes, 10, "mms");
    cp949Title.empty() ? Put(bytes, 15, title) : Put(bytes, 15, cp949Title);
    return bytes;
}

// One record of the table appended to bytes.
void AppendRecord(Bytes& bytes, const Bytes& name, std::string_view address, std::string_view time,
                  std::string_view size, std::string_view info) {
    const size_t base = bytes.size();
    bytes.resize(base + 584, 0);
    Put(bytes, base + 0, "Tapewell");
    Put(bytes, base + 50, "Tapewell");
    Put(bytes, base + 100, name);
    Put(bytes, base + 150, address);
    Put(bytes, base + 425, time);
    Put(bytes, base + 435, size);
    Put(bytes, base + 488, info);
}

TEST(IbhFile, WritesTheTableLayoutByteForByte) {
    test::TempDir dir;
    test::ScriptedListPrompt prompt;
    RecordList list(&prompt);
    list.SetTitle("My list");
    list.SetCredentials("user", "secret");
    int row = list.AddItem("mms://h/a.asf", "한국어 이름", "-", "");
    list.SetCellText(row, kColTime, "0:01:02");
    list.SetCellText(row, kColSize, "12K");
    list.SetCellText(row, kColInfo, "note");
    row = list.AddItem("http://h/b.wmv", "B", "-", "");
    list.SetCellText(row, kColSize, " -3K");

    ASSERT_EQ(SaveListFile(list, dir / "l.ibh", ListSaveMode::All, &prompt).value(),
              ListSaveResult::Saved);
    Bytes expected = Header("My list");
    Put(expected, 124, "user");
    Put(expected, 154, "secret");
    AppendRecord(expected, Cp949("한국어 이름"), "mms://h/a.asf", "0:01:02", "12K", "note");
    AppendRecord(expected, Bytes{'B'}, "http://h/b.wmv", "", "", "");
    EXPECT_EQ(test::ReadFileBytes(dir / "l.ibh"), expected);
    EXPECT_EQ(prompt.credentialsQuestions, 1);

    // No keeps the credentials out; Cancel leaves the old file as it was.
    prompt.credentialsAnswer = ListPrompt::Answer::No;
    ASSERT_EQ(SaveListFile(list, dir / "l.ibh", ListSaveMode::All, &prompt).value(),
              ListSaveResult::Saved);
    Bytes saved = test::ReadFileBytes(dir / "l.ibh");
    EXPECT_EQ(saved[124], 0);
    EXPECT_EQ(saved[154], 0);
    prompt.credentialsAnswer = ListPrompt::Answer::Cancel;
    list.SetTitle("changed");
    EXPECT_EQ(SaveListFile(list, dir / "l.ibh", ListSaveMode::All, &prompt).value(),
              ListSaveResult::Cancelled);
    EXPECT_EQ(test::ReadFileBytes(dir / "l.ibh"), saved);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
    EXPECT_EQ(SaveListFile(list, dir / "missing" / "l.ibh", ListSaveMode::All, nullptr).value(),
              ListSaveResult::Cancelled);
    list.SetCredentials("", "");
    const auto failed = SaveListFile(list, dir / "missing" / "l.ibh", ListSaveMode::All, nullptr);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().code, ENOENT);
}

std::vector<std::string> SavedNames(const RecordList& list, ListSaveMode mode) {
    test::TempDir dir;
    EXPECT_EQ(SaveListFile(list, dir / "l.ibh", mode, nullptr).value(), ListSaveResult::Saved);
    std::vector<std::string> names;
    const ErrorOr<IbhList> file = IbhFile::Load(dir / "l.ibh");
    if (!file) {
        ADD_FAILURE() << "saved list does not load";
        return names;
    }
    for (const IbhRecord& record : file->records) {
        names.push_back(record.name);
    }
    return names;
}

TEST(IbhFile, SaveModesAndCuts) {
    RecordList list;
    list.AddItem("/v/local.asf", "local", "-", "");
    list.AddItem("mms://h/net.asf", "net", "-", "");
    list.AddItem("http://h/done.asf", "done", "-", "");
    list.SetMark(2, kMarkRecorded);
    using Names = std::vector<std::string>;
    EXPECT_EQ(SavedNames(list, ListSaveMode::OnlyUrl), (Names{"net", "done"}));
    EXPECT_EQ(SavedNames(list, ListSaveMode::OnlyFile), (Names{"local"}));
    EXPECT_EQ(SavedNames(list, ListSaveMode::All), (Names{"local", "net", "done"}));

    IbhList file;
    file.title = std::string(150, 't');
    const std::string korean = "가나다라마바사아자차카타파하";  // 14 characters, 28 bytes in CP949
    file.records.push_back(
        {std::string(60, 'n'), std::string(400, 'a'), "12345678901", "5M", std::string(120, 'i')});
    file.records.push_back({korean + korean, "mms://h/x", "", "", "😀" + std::string(100, 'i')});
    file.records.push_back({"😀😀😀😀😀😀😀😀😀😀😀😀😀", "", "", "", ""});
    const Bytes bytes = IbhFile::Encode(file);
    ASSERT_EQ(bytes.size(), 224u + 3 * 584u);
    const IbhList back = IbhFile::Parse(bytes).value();
    EXPECT_EQ(back.title, std::string(100, 't'));
    EXPECT_EQ(back.records[0].name, std::string(49, 'n'));
    EXPECT_EQ(back.records[0].address, std::string(274, 'a'));
    EXPECT_EQ(back.records[0].time, "123456789");
    EXPECT_EQ(back.records[0].info, std::string(94, 'i'));
    // 49 bytes would split the 25th two-byte character.
    EXPECT_EQ(back.records[1].name, (korean + korean).substr(0, 24 * 3));
    EXPECT_EQ(back.records[1].info, "😀" + std::string(91, 'i'));  // 95 bytes of UTF-8
    EXPECT_EQ(back.records[2].name, "😀😀😀😀😀😀😀😀😀😀😀😀");              // 12 x 4 bytes of UTF-8
    EXPECT_EQ(bytes[224 + 584 + 488 + 95], 0);
}

TEST(IbhFile, LoadsWindowsFilesAndRefusesGarbage) {
    test::TempDir dir;
    Bytes windows = Header("", Cp949("  테스트 목록 "));
    Put(windows, 124, "kim");
    AppendRecord(windows, Cp949("노래"), "mms://h/a.asf", "0:03:00", "2M", " info ");
    AppendRecord(windows, Bytes(50, 'A'), "/v/b.wmv", "", "", "");  // name without terminator
    Bytes twice = windows;
    twice.resize(twice.size() + 583, 'x');  // a cut-off last record
    test::WriteFileBytes(dir / "w.ibh", twice);

    RecordList list;
    list.SetCredentials("old", "old");
    for (int round = 0; round < 2; ++round) {
        ErrorOr<ListLoadResult> result = LoadListFile(list, dir / "w.ibh");
        ASSERT_TRUE(result) << result.error().message;
        EXPECT_EQ(result->rowsAdded, 2);
        EXPECT_EQ(result->firstRow, round * 2);
        EXPECT_EQ(result->warning, "list file is truncated: 2 of 3 rows");
    }
    ASSERT_EQ(list.RowCount(), 4);
    EXPECT_EQ(list.Title(), "테스트 목록");
    EXPECT_EQ(list.UserName(), "kim");
    EXPECT_EQ(list.Password(), "");
    EXPECT_EQ(list.GetCellText(2, kColFile), "노래");
    EXPECT_EQ(list.GetCellText(2, kColType), "asf");
    EXPECT_EQ(list.GetCellText(2, kColInfo), "info");
    EXPECT_EQ(list.Row(2).mark, kMarkNetwork);
    EXPECT_EQ(list.GetCellText(3, kColFile), std::string(50, 'A'));
    EXPECT_EQ(list.GetCellText(3, kColOriginalFile), "/v/b.wmv");
    EXPECT_EQ(list.Row(3).mark, kMarkLocal);

    Bytes wrongVersion = windows;
    wrongVersion[3] = 'c';
    Bytes wrongProtocol = windows;
    Put(wrongProtocol, 10, "http");
    Bytes endless = windows;
    std::fill(endless.begin() + 4, endless.begin() + 10, 'x');  // "0.1b" without its terminator
    Bytes random(5000);
    for (size_t i = 0; i < random.size(); ++i) {
        random[i] = static_cast<uint8_t>(i * 131 + 7);
    }
    for (const Bytes& bad : {Bytes{}, Bytes(windows.begin(), windows.begin() + 223), wrongVersion,
                             wrongProtocol, endless, random}) {
        test::WriteFileBytes(dir / "bad.ibh", bad);
        EXPECT_EQ(LoadListFile(list, dir / "bad.ibh").error().message, "not a list file");
    }
    EXPECT_EQ(LoadListFile(list, dir / "none.ibh").error().code, ENOENT);
    EXPECT_EQ(list.RowCount(), 4);
    EXPECT_EQ(list.UserName(), "kim");
}

TEST(IbhFile, ACutFileSaysHowManyRowsItLost) {
    test::TempDir dir;
    Bytes whole = Header("cut");
    for (int i = 0; i < 3; ++i) {
        AppendRecord(whole, Bytes{static_cast<uint8_t>('a' + i)}, "mms://h/x", "", "", "");
    }
    struct Case {
        size_t bytes;
        int rows;
        std::string warning;
    };
    // The header alone, whole files, and cuts one byte into a record and
    // one byte short of its end: a cut record counts as a row of the file.
    const Case cases[] = {
        {224, 0, ""},
        {224 + 1, 0, "list file is truncated: 0 of 1 rows"},
        {224 + 2 * 584, 2, ""},
        {224 + 2 * 584 + 1, 2, "list file is truncated: 2 of 3 rows"},
        {224 + 3 * 584 - 1, 2, "list file is truncated: 2 of 3 rows"},
        {224 + 3 * 584, 3, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        test::WriteFileBytes(dir / "c.ibh", Bytes(whole.begin(), whole.begin() + c.bytes));
        RecordList list;
        const ErrorOr<ListLoadResult> result = LoadListFile(list, dir / "c.ibh");
        ASSERT_TRUE(result) << result.error().message;
        EXPECT_EQ(result->rowsAdded, c.rows);
        EXPECT_EQ(list.RowCount(), c.rows);
        EXPECT_EQ(result->warning, c.warning);
    }
}

mode_t ModeOf(const std::filesystem::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}

TEST(IbhFile, CredentialsAreWrittenForTheUserOnly) {
    test::TempDir dir;
    test::ScriptedListPrompt prompt;
    RecordList list(&prompt);
    list.SetCredentials("kim", "secret");
    list.AddItem("mms://h/a.asf", "a", "-", "");
    // With no umask a list without credentials is open to all, so only the
    // credentials can make the file private.
    const mode_t oldMask = ::umask(0);
    prompt.credentialsAnswer = ListPrompt::Answer::No;
    ASSERT_TRUE(SaveListFile(list, dir / "l.ibh", ListSaveMode::All, &prompt));
    const mode_t open = ModeOf(dir / "l.ibh");
    prompt.credentialsAnswer = ListPrompt::Answer::Yes;
    ASSERT_TRUE(SaveListFile(list, dir / "l.ibh", ListSaveMode::All, &prompt));
    const mode_t stored = ModeOf(dir / "l.ibh");
    IbhList onlyUser;
    onlyUser.userName = "kim";
    ASSERT_TRUE(IbhFile::Save(dir / "u.ibh", onlyUser));
    ::umask(oldMask);
    EXPECT_EQ(open, 0666u);
    EXPECT_EQ(stored, 0600u);
    EXPECT_EQ(ModeOf(dir / "u.ibh"), 0600u);
    EXPECT_EQ(IbhFile::Load(dir / "l.ibh").value().password, "secret");
    // The write went through a temporary file that is gone again.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
    const auto failed = IbhFile::Save(dir / "missing" / "l.ibh", onlyUser);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().code, ENOENT);
}

}  // namespace
}  // namespace tapewell
