#include "FileDialogs.h"

namespace
{

FileDialogs::Handler& currentHandler()
{
    static FileDialogs::Handler handler;
    return handler;
}

} // namespace

QString FileDialogs::ask(const FileDialogRequest& request)
{
    if (currentHandler())
        return currentHandler()(request);
    switch (request.kind) {
    case FileDialogRequest::SaveFile:
        return QFileDialog::getSaveFileName(
            request.parent, request.title, request.start, request.filter, nullptr, request.options);
    case FileDialogRequest::OpenFile:
        return QFileDialog::getOpenFileName(
            request.parent, request.title, request.start, request.filter, nullptr, request.options);
    case FileDialogRequest::Directory:
        return QFileDialog::getExistingDirectory(request.parent, request.title, request.start, request.options);
    }
    return QString();
}

QString FileDialogs::getSaveFileName(
    QWidget* parent, const QString& title, const QString& proposed, const QString& filter)
{
    FileDialogRequest request;
    request.kind = FileDialogRequest::SaveFile;
    request.parent = parent;
    request.title = title;
    request.start = proposed;
    request.filter = filter;
    return ask(request);
}

QString FileDialogs::getOpenFileName(
    QWidget* parent, const QString& title, const QString& directory, const QString& filter)
{
    FileDialogRequest request;
    request.kind = FileDialogRequest::OpenFile;
    request.parent = parent;
    request.title = title;
    request.start = directory;
    request.filter = filter;
    return ask(request);
}

QString FileDialogs::getExistingDirectory(
    QWidget* parent, const QString& title, const QString& directory, QFileDialog::Options options)
{
    FileDialogRequest request;
    request.kind = FileDialogRequest::Directory;
    request.parent = parent;
    request.title = title;
    request.start = directory;
    request.options = options;
    return ask(request);
}

FileDialogs::Handler FileDialogs::setHandler(Handler handler)
{
    Handler previous = std::move(currentHandler());
    currentHandler() = std::move(handler);
    return previous;
}
