#include "app/ListFiles.h"

#include "app/AddressText.h"
#include "app/IbhFile.h"
#include "app/RecordList.h"
#include "app/UrhFile.h"
#include "playlist/ListPrompt.h"
#include "settings/UserFolders.h"

namespace tapewell {
namespace {

bool Selected(ListSaveMode mode, int32_t mark) {
    switch (mode) {
        case ListSaveMode::OnlyUrl:
            return mark != kMarkLocal;
        case ListSaveMode::OnlyFile:
            return mark == kMarkLocal;
        case ListSaveMode::All:
            return true;
    }
    return false;
}

std::string RowsNotReadWarning(const IbhList& file) {
    const size_t read = file.records.size();
    if (file.lastRecordCut) {
        return "list file is truncated: " + std::to_string(read) + " of " +
               std::to_string(file.rowsInFile) + " rows";
    }
    if (file.rowsInFile > read) {
        return "list file holds " + std::to_string(file.rowsInFile) + " rows; only the first " +
               std::to_string(read) + " are read";
    }
    return {};
}

}  // namespace

std::filesystem::path AutomaticListPath() {
    return user_folders::DataHome() / "Tapewell" / "Tapewell.ibh";
}

ErrorOr<ListSaveResult> SaveListFile(const RecordList& list, const std::filesystem::path& path,
                                     ListSaveMode mode, ListPrompt* prompt) {
    IbhList file;
    file.title = list.Title();
    if (!list.UserName().empty() && !list.Password().empty()) {
        const ListPrompt::Answer answer =
            prompt != nullptr ? prompt->AskSaveCredentials() : ListPrompt::Answer::Cancel;
        if (answer == ListPrompt::Answer::Cancel) {
            return ListSaveResult::Cancelled;
        }
        if (answer == ListPrompt::Answer::Yes) {
            file.userName = list.UserName();
            file.password = list.Password();
        }
    }
    for (int i = 0; i < list.RowCount(); ++i) {
        const RecordRow& row = list.Row(i);
        if (Selected(mode, row.mark)) {
            file.records.push_back(IbhRecord{row.cells[kColFile], row.cells[kColOriginalFile],
                                             row.cells[kColTime], row.cells[kColSize],
                                             row.cells[kColInfo]});
        }
    }
    if (auto saved = IbhFile::Save(path, file); !saved) {
        return saved.error();
    }
    return ListSaveResult::Saved;
}

ErrorOr<ListLoadResult> LoadListFile(RecordList& list, const std::filesystem::path& path,
                                     LoginCheck* check) {
    ErrorOr<IbhList> file = IbhFile::Load(path);
    if (!file) {
        return file.error();
    }
    ListLoadResult result;
    result.warning = RowsNotReadWarning(*file);
    list.SetCredentials(file->userName, file->password);
    list.SetTitle(file->title);
    std::string firstNetworkAddress;
    for (IbhRecord& record : file->records) {
        RecordRow row;
        row.mark = IsLocalPath(record.address) ? kMarkLocal : kMarkNetwork;
        if (row.mark == kMarkNetwork && firstNetworkAddress.empty()) {
            firstNetworkAddress = record.address;
        }
        row.cells[kColFile] = std::move(record.name);
        row.cells[kColType] = TypeWord(record.address);
        row.cells[kColTime] = std::move(record.time);
        row.cells[kColSize] = std::move(record.size);
        row.cells[kColOriginalFile] = std::move(record.address);
        row.cells[kColInfo] = std::move(record.info);
        const int index = list.AppendRow(std::move(row));
        if (result.firstRow < 0) {
            result.firstRow = index;
        }
        ++result.rowsAdded;
    }
    if (check != nullptr && !file->userName.empty() && !file->password.empty()) {
        result.login = check->Run(firstNetworkAddress, file->userName, file->password);
        if (result.login->credentialsChanged) {
            list.SetCredentials(result.login->userName, result.login->password);
        }
    }
    return result;
}

ErrorOr<ListLoadResult> LoadFolderList(RecordList& list, const std::filesystem::path& path,
                                       long* files) {
    ErrorOr<UrhFile::Contents> contents = UrhFile::Load(path);
    if (!contents) {
        return contents.error();
    }
    ListLoadResult result;
    if (files != nullptr) {
        *files = contents->files;
    }
    for (UrhFolder& folder : contents->folders) {
        RecordRow row;
        row.mark = kMarkNetwork;
        row.cells[kColFile] =
            folder.title.empty() ? DeriveName(folder.url) : std::move(folder.title);
        row.cells[kColOriginalFile] = std::move(folder.url);
        const int index = list.AppendRow(std::move(row));
        if (result.firstRow < 0) {
            result.firstRow = index;
        }
        ++result.rowsAdded;
    }
    return result;
}

}  // namespace tapewell
