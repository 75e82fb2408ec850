// The station's file chooser for a finger: one folder's files that match the pattern, newest
// first, in rows a finger can hit; the name that OK takes, shown large; a button that opens
// the on-screen keyboard for another name. A save chooser proposes a name made of the date
// and time with the pattern's extension, which OK takes as it stands; an open chooser takes
// only a file that exists. A name OK cannot take stays in the dialog with the reason under
// it. Whether an existing file may be overwritten is the caller's question, not this one's.
#pragma once

#include <QDateTime>
#include <QDir>
#include <QPointer>
#include <QString>

#include "ui/qt/touch_dialogs.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace ui::qt {

// The extension a pattern such as "*.csv" asks for (".csv"); empty for "*", "*.*" or none.
QString patternSuffix(const QString& pattern);
// The name proposed for a new file in the folder, never one it holds: the date and time
// ("2026-12-07_0815") and the suffix; with the seconds ("2026-12-07_081542") when that name is
// taken, then with a number ("2026-12-07_081542-2").
QString proposedFileName(const QDateTime& now, const QString& suffix, const QDir& folder);
// Why a name cannot be taken in the folder, in the operator's words; empty when it can.
QString fileNameRefusal(const QString& name, const QDir& folder, bool save);

class TouchFileChooser : public TouchDialog {
  public:
    // now: the time the proposed name is made of.
    TouchFileChooser(const QString& title, const QString& directory, const QString& pattern,
                     bool save, const QDateTime& now, QWidget* parent = nullptr);

    // The name OK would take, and the full path of the one it took.
    QString name() const { return name_; }
    QString path() const { return path_; }
    // Why OK did not take the name; empty while nothing was refused.
    QString refusal() const;
    // The name as typed on the keyboard: a save chooser adds the pattern's extension to a
    // name that lacks it.
    void setName(const QString& typed);

    QTreeWidget* list() const { return list_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* typeButton() const { return type_; }
    // The keyboard opened by typeButton(), while it is open.
    TouchKeyboard* keyboard() const { return keyboard_.data(); }

  protected:
    void enterPressed() override;

  private:
    void fill(const QString& pattern);
    void openKeyboard();
    void tryAccept();
    QDir folder_;
    QString suffix_;
    bool save_;
    QString name_;
    QString path_;
    QTreeWidget* list_ = nullptr;
    QLabel* folderLine_ = nullptr;
    QLabel* display_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* type_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPointer<TouchKeyboard> keyboard_;
};

}  // namespace ui::qt
