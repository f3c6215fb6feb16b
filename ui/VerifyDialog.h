// The small modal dialog of a verification: the stamp file, the source file it is said to
// cover, and whether the verified stamp goes into the list. It only collects the values;
// the verify workflow acts on them.
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;
class QPushButton;

class CVerifyDialog : public QDialog {
    Q_OBJECT

public:
    // Control ids, kept as the widgets' "controlId" property.
    enum : int {
        IDOK = 1,
        IDCANCEL = 2,
        IDC_STAMP_FILE = 1001,
        IDC_BROWSE_STAMP = 1002,
        IDC_SOURCE_FILE = 1003,
        IDC_BROWSE_SOURCE = 1004,
        IDC_ADD_TO_LIST = 1005,
    };

    explicit CVerifyDialog(QWidget* parent = nullptr);

    // Set before exec(); read after OK.
    QString m_strSourceFile;
    QString m_strStampFile;
    int m_bAddToList = 0;

    // Shows the members and runs the dialog: QDialog::Accepted (OK) or Rejected (Cancel).
    int exec() override;

    // The control with `id` (tests).
    QWidget* Control(int id) const;

    // Members <-> controls, in the order source file, stamp file, check box.
    void DoDataExchange(bool saveAndValidate);

public slots:
    void OnBrowseStampFile();
    void OnBrowseSourceFile();
    void accept() override; // OnOK
    void reject() override; // OnCancel

private:
    QLineEdit* m_pStampEdit = nullptr;
    QLineEdit* m_pSourceEdit = nullptr;
    QCheckBox* m_pAddToList = nullptr;
};
