#ifndef FILEDIALOGS_H
#define FILEDIALOGS_H

#include <QFileDialog>
#include <QString>
#include <functional>

class QWidget;

// What one file dialog asks.
struct FileDialogRequest {
    enum Kind { SaveFile, OpenFile, Directory };
    Kind kind = OpenFile;
    QWidget* parent = nullptr;
    QString title;
    // The proposed file (save), the start directory (open, directory).
    QString start;
    QString filter;
    QFileDialog::Options options;
};

// Every file dialog of fpmanager goes through here (QFileDialog's static functions). A handler
// installed with setHandler answers instead of a real dialog (tests: record what would have been
// asked and pick the answer; an empty answer is a cancelled dialog).
class FileDialogs
{
public:
    using Handler = std::function<QString(const FileDialogRequest&)>;

    static QString getSaveFileName(
        QWidget* parent, const QString& title, const QString& proposed, const QString& filter);
    static QString getOpenFileName(
        QWidget* parent, const QString& title, const QString& directory, const QString& filter);
    static QString getExistingDirectory(QWidget* parent, const QString& title, const QString& directory,
        QFileDialog::Options options = QFileDialog::ShowDirsOnly);

    // Installs handler (an empty one brings back the real dialogs); returns the previous one.
    static Handler setHandler(Handler handler);

private:
    static QString ask(const FileDialogRequest& request);
};

#endif
