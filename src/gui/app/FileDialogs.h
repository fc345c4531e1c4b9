#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QObject;
class QWidget;

namespace tapewell::gui {

enum class PathChoice { kOpenFile, kOpenFiles, kSaveFile, kFolder };

// One file or folder dialog of the program: what it asks for and where it
// starts.
struct PathDialog {
    PathChoice choice = PathChoice::kOpenFile;
    QString objectName;  // how tests and the prompt find it
    QString caption;
    QString filter;  // name filters ("Video files (*.asf);;All files (*)")
    QString defaultSuffix;
    QString startFolder;  // the folder it shows first...
    QString startFile;    // ...and the file typed in: a name, or a whole path
    // A save dialog asks before it replaces a file, unless the caller asks
    // that question itself.
    bool confirmOverwrite = true;
};

// Opens the dialog through UiPrompt, as every dialog of the program opens.
// done gets the chosen paths (empty ones left out), or an empty list when
// the user cancelled, on the UI thread; it is not called once context is
// gone.
void ChoosePaths(QWidget* parent, const PathDialog& request, const QObject* context,
                 std::function<void(const QStringList& paths)> done);

}  // namespace tapewell::gui
