#ifndef SETTINGSDLG_H
#define SETTINGSDLG_H

#include <QDialog>
#include <QString>

namespace Ui
{
class SettingsDlg;
}

// Edits the print-time verification time-out and the default folder of the export and import
// file dialogs; OK stores both in fingerMagager and writes the settings file.
class SettingsDlg : public QDialog
{
    Q_OBJECT
public:
    explicit SettingsDlg(QWidget* parent = nullptr);
    ~SettingsDlg() override;

    Ui::SettingsDlg* ui;
    // The folder picked with the browse button during this run (empty: none, or the last browse
    // was cancelled).
    QString m_strPath;

private slots:
    void on_btn_browse_clicked();
    void on_btn_set_Ok_clicked();
    void on_btn_set_No_clicked();
};

#endif
