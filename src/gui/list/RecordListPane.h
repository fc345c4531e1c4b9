#pragma once

#include <QWidget>

class QLabel;

namespace tapewell::gui {

class CRecordListView;

// The lower part of the main window: the command band (the list's command
// buttons and, along its top, the list's title), the record list, and the
// banner band with the program's idle picture.
class RecordListPane : public QWidget {
    Q_OBJECT
public:
    static constexpr int kToolBandHeight = 52;
    static constexpr int kBannerHeight = 61;

    RecordListPane(CRecordListView* view, QWidget* parent = nullptr);

    CRecordListView* View() const { return m_view; }
    QWidget* ToolBand() const { return m_toolBand; }
    // Puts the command buttons into the band, at its left.
    void SetCommandBar(QWidget* bar);
    void SetTitle(const QString& title);
    QString Title() const;
    // The banner band at the bottom, which Big Screen Mode hides.
    QWidget* Banner() const { return m_banner; }

private:
    CRecordListView* m_view;
    QWidget* m_toolBand;
    QLabel* m_title;
    QWidget* m_banner;
};

}  // namespace tapewell::gui
