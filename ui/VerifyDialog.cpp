#include "ui/VerifyDialog.h"

#include "document/IFrontEnd.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "ui/OpenFileDialog.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

QString Res(uint32_t id) {
    return QString::fromStdString(LoadResString(id));
}

// Dialog units of the dialog's font: a quarter of the average character width across, an
// eighth of the character height down.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics metrics(font);
        static const QString alphabet =
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        m_baseX = (metrics.horizontalAdvance(alphabet) / 26.0 + 1) / 2;
        m_baseY = metrics.height();
    }
    int X(int units) const { return static_cast<int>(units * m_baseX / 4 + 0.5); }
    int Y(int units) const { return static_cast<int>(units * m_baseY / 8 + 0.5); }
    QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }

private:
    double m_baseX;
    double m_baseY;
};

template <typename W> W* Place(W* widget, int id, const QRect& rect) {
    widget->setGeometry(rect);
    if (id != 0)
        widget->setProperty("controlId", id);
    return widget;
}

} // namespace

CVerifyDialog::CVerifyDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setWindowTitle(Res(IDS_VERIFY_DIALOG_CAPTION));
    setObjectName(QStringLiteral("VerifyDialog"));
    setModal(true);
    const DialogUnits du(font());

    // Created in tab order; the group boxes take no focus.
    auto* ok =
        Place(new QPushButton(Res(IDS_VERIFY_DIALOG_OK), this), IDOK, du.Rect(229, 85, 50, 14));
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    auto* cancel = Place(new QPushButton(Res(IDS_VERIFY_DIALOG_CANCEL), this), IDCANCEL,
                         du.Rect(294, 85, 50, 14));
    cancel->setObjectName(QStringLiteral("cancelButton"));

    auto* stampGroup =
        Place(new QGroupBox(Res(IDS_VERIFY_DIALOG_STAMP_GROUP), this), 0, du.Rect(7, 7, 337, 35));
    stampGroup->setFocusPolicy(Qt::NoFocus);
    m_pStampEdit = Place(new QLineEdit(this), IDC_STAMP_FILE, du.Rect(13, 21, 283, 15));
    m_pStampEdit->setObjectName(QStringLiteral("stampFileEdit"));
    auto* browseStamp = Place(new QPushButton(Res(IDS_VERIFY_DIALOG_BROWSE), this),
                              IDC_BROWSE_STAMP, du.Rect(303, 22, 34, 12));
    browseStamp->setObjectName(QStringLiteral("browseStampButton"));

    auto* sourceGroup =
        Place(new QGroupBox(Res(IDS_VERIFY_DIALOG_SOURCE_GROUP), this), 0, du.Rect(7, 44, 337, 35));
    sourceGroup->setFocusPolicy(Qt::NoFocus);
    m_pSourceEdit = Place(new QLineEdit(this), IDC_SOURCE_FILE, du.Rect(13, 58, 283, 15));
    m_pSourceEdit->setObjectName(QStringLiteral("sourceFileEdit"));
    auto* browseSource = Place(new QPushButton(Res(IDS_VERIFY_DIALOG_BROWSE), this),
                               IDC_BROWSE_SOURCE, du.Rect(303, 59, 34, 12));
    browseSource->setObjectName(QStringLiteral("browseSourceButton"));

    m_pAddToList = Place(new QCheckBox(Res(IDS_VERIFY_DIALOG_ADD_TO_LIST), this), IDC_ADD_TO_LIST,
                         du.Rect(13, 84, 102, 15));
    m_pAddToList->setObjectName(QStringLiteral("addToListCheck"));

    // The group boxes were created after the buttons; their frames go behind the edits.
    stampGroup->lower();
    sourceGroup->lower();

    const QList<QWidget*> order = {
        ok, cancel, m_pStampEdit, browseStamp, m_pSourceEdit, browseSource, m_pAddToList};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    for (QWidget* w : order)
        w->setFocusPolicy(Qt::StrongFocus);

    connect(ok, &QPushButton::clicked, this, &CVerifyDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CVerifyDialog::reject);
    connect(browseStamp, &QPushButton::clicked, this, &CVerifyDialog::OnBrowseStampFile);
    connect(browseSource, &QPushButton::clicked, this, &CVerifyDialog::OnBrowseSourceFile);

    setFixedSize(du.X(351), du.Y(106));
}

int CVerifyDialog::exec() {
    DoDataExchange(false);
    return QDialog::exec();
}

QWidget* CVerifyDialog::Control(int id) const {
    for (QWidget* w : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QVariant value = w->property("controlId");
        if (value.isValid() && value.toInt() == id)
            return w;
    }
    return nullptr;
}

void CVerifyDialog::DoDataExchange(bool saveAndValidate) {
    if (saveAndValidate) {
        m_strSourceFile = m_pSourceEdit->text();
        m_strStampFile = m_pStampEdit->text();
        m_bAddToList = m_pAddToList->isChecked() ? 1 : 0;
    } else {
        m_pSourceEdit->setText(m_strSourceFile);
        m_pStampEdit->setText(m_strStampFile);
        m_pAddToList->setChecked(m_bAddToList != 0);
    }
}

void CVerifyDialog::OnBrowseStampFile() {
    DoDataExchange(true);
    const FileDialogSpec spec{LoadResString(IDS_OPEN_STAMP_TITLE),
                              LoadResString(IDS_FILTER_STAMP_FILES),
                              LoadResString(IDS_FILTER_STAMP_FILES_PATTERN)};
    if (const auto path = ShowOpenFileDialog(this, spec)) {
        m_strStampFile = QString::fromStdString(*path);
        DoDataExchange(false);
    }
}

void CVerifyDialog::OnBrowseSourceFile() {
    DoDataExchange(true);
    const FileDialogSpec spec{LoadResString(IDS_SELECT_SOURCE_TITLE),
                              LoadResString(IDS_FILTER_ALL_FILES),
                              LoadResString(IDS_FILTER_ALL_FILES_PATTERN)};
    if (const auto path = ShowOpenFileDialog(this, spec)) {
        m_strSourceFile = QString::fromStdString(*path);
        DoDataExchange(false);
    }
}

void CVerifyDialog::accept() {
    DoDataExchange(true);
    // Without both paths the dialog stays open, and nothing is said.
    if (m_strStampFile.isEmpty() || m_strSourceFile.isEmpty())
        return;
    QDialog::accept();
}

void CVerifyDialog::reject() {
    m_strSourceFile.clear();
    m_strStampFile.clear();
    QDialog::reject();
}
