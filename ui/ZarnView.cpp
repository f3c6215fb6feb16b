#include "ui/ZarnView.h"

#include "core/ClientSettings.h"
#include "document/Pages.h"
#include "document/ZarnDoc.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "support/SupportFunctions.h"
#include "ui/PageBridge.h"
#include "ui/PageSchemeHandler.h"
#include "ui/PageWebPage.h"
#include "ui/TsaCertificateFile.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QWebChannel>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <unistd.h>

// The pages live in a static library: its resources are linked in only when asked for.
static void InitPageResources() {
    Q_INIT_RESOURCE(pages);
}

namespace {

// Resolution of every print: enough for text, without the cost of the printer's maximum.
constexpr int kPrintDpi = 300;

QString& PrintToPdfPath() {
    static QString path;
    return path;
}

// Writes the fills into the page by id or name and answers the ids it did not find.
const char kFillScript[] = R"JS(
(function (fills) {
    var missing = [];
    fills.forEach(function (fill) {
        var key = CSS.escape(fill[1]);
        var e = document.querySelector('[id="' + key + '"],[name="' + key + '"]');
        if (!e) { missing.push(fill[1]); return; }
        switch (fill[0]) {
        case 0: e.textContent = fill[2]; break;
        case 1: e.style.backgroundColor = /^[0-9A-Fa-f]{6}$/.test(fill[2]) ? '#' + fill[2] : fill[2]; break;
        case 2: if (e.tagName === 'INPUT') e.value = fill[2]; break;
        case 3: if (e.tagName === 'INPUT' && e.type === 'radio') e.checked = true; break;
        case 4: e.classList.remove('verdict-good', 'verdict-bad'); if (fill[2]) e.classList.add(fill[2]); break;
        }
    });
    return missing;
})(%1);
)JS";

QString FillScript(const PageFills& fills) {
    QJsonArray data;
    for (const PageFill& fill : fills)
        data.append(QJsonArray{static_cast<int>(fill.kind), QString::fromStdString(fill.id),
                               QString::fromStdString(fill.value)});
    return QString::fromUtf8(kFillScript)
        .arg(QString::fromUtf8(QJsonDocument(data).toJson(QJsonDocument::Compact)));
}

std::string PagePath(const QUrl& url) {
    std::string path;
    return UrlObjectPath(url.toString(QUrl::FullyEncoded).toStdString(), path);
}

} // namespace

CZarnView::CZarnView(QWidget* parent) : QWebEngineView(parent) {
    setObjectName(QStringLiteral("ZarnView"));
    InitPageResources();
    RegisterPageScheme(); // too late to take effect here, but harmless when main did it
    QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
    CPageSchemeHandler::InstallOn(profile);

    m_pPage = new CPageWebPage(profile, this);
    m_pBridge = new CPageBridge(this);
    m_pBridge->SetHandler(
        [this](const QString& url, const QByteArray& body, const PageInputs* inputs) {
            return OnFormSubmit(url, body, inputs);
        });
    m_pChannel = new QWebChannel(this);
    m_pChannel->registerObject(CPageBridge::ObjectName(), m_pBridge);
    m_pPage->setWebChannel(m_pChannel, QWebEngineScript::ApplicationWorld);

    QWebEngineScript script;
    script.setName(QStringLiteral("mivo-submit-bridge"));
    script.setSourceCode(CPageBridge::Script());
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(false);
    m_pPage->scripts().insert(script);
    setPage(m_pPage);

    setContextMenuPolicy(Qt::NoContextMenu);
    WatchWidget(this);
    connect(m_pPage, &QWebEnginePage::loadingChanged, this, &CZarnView::OnLoadingChanged);
    connect(this, &QWebEngineView::printFinished, this, [this](bool success) {
        // Only our own prints: the preview prints on its own printer and shows the result.
        if (!m_pPrinter)
            return;
        const std::string printer = m_pPrinter->printerName().toStdString();
        m_pPrinter.reset();
        if (!success)
            ErrorBoxF(IDS_PRINT_FAILED, FormatRes(IDS_PRINT_NOT_PRINTED, printer));
    });
}

CZarnView::~CZarnView() {
    // The page goes before the view that shows it.
    delete m_pPage;
    m_pPage = nullptr;
}

void CZarnView::RegisterPageScheme() {
    CPageSchemeHandler::RegisterScheme();
}

CZarnDoc* CZarnView::GetZarnDoc() const {
    return dynamic_cast<CZarnDoc*>(GetDocument());
}

QUrl CZarnView::ResourceUrl(const QString& name) {
    return CPageSchemeHandler::PageUrl(name);
}

void CZarnView::OnInitialUpdate() {
    OnUpdate(nullptr, 0);
    CZarnDoc* doc = GetZarnDoc();
    const bool mainWindow = doc != nullptr && doc->HasMainWindow();
    if (mainWindow) {
        if (IStampListPanel* panel = doc->ListPanel()) {
            panel->FillOnce(doc->Registry());
            panel->SelectRow(doc->GetCurrentEntryIndex());
        }
    }
    if (!mainWindow || doc->GetCurrentEntryIndex() == -1)
        ShowAboutPage();
}

void CZarnView::OnUpdate(CView*, long) {
    ShowStampPage();
}

bool CZarnView::OnCommand(unsigned id) {
    switch (id) {
    case ID_FILE_PRINT:
        PrintWithDialog();
        return true;
    case ID_FILE_PRINT_DIRECT:
        PrintDirect();
        return true;
    case ID_FILE_PRINT_PREVIEW:
        PrintPreview();
        return true;
    case ID_APP_ABOUT:
        ShowAboutPage();
        return true;
    case ID_SETTINGS:
        ShowSettingsPage();
        return true;
    default:
        return false;
    }
}

void CZarnView::Navigate(const QString& name) {
    const QUrl url = ResourceUrl(name);
    m_strUrl = url.toString();
    load(url);
}

void CZarnView::ShowStampPage() {
    if (GetDocument() != nullptr)
        Navigate(QStringLiteral("certif.htm"));
}

void CZarnView::ShowAboutPage() {
    Navigate(QStringLiteral("about.htm"));
}

void CZarnView::ShowSettingsPage() {
    m_bShowDefaults = false;
    Navigate(QStringLiteral("config.htm"));
}

void CZarnView::OnLoadingChanged(const QWebEngineLoadingInfo& info) {
    if (info.status() != QWebEngineLoadingInfo::LoadSucceededStatus)
        return;
    const QUrl url = info.url();
    if (!CPageSchemeHandler::IsOwnUrl(url))
        return;
    const std::string path = PagePath(url);
    if (path.empty())
        return;
    const PageFills fills = FillsForPage(path, GetZarnDoc(), GetClientSettings(), m_bShowDefaults);
    if (path == kSettingsPagePath)
        m_bShowDefaults = false;
    QPointer<CZarnView> self(this);
    m_pPage->runJavaScript(FillScript(fills), QWebEngineScript::ApplicationWorld,
                           [self, url](const QVariant&) {
                               if (self)
                                   emit self->pageFilled(url);
                           });
}

bool CZarnView::OnFormSubmit(const QString& url, const QByteArray& body, const PageInputs* inputs) {
    const QUrl target(url);
    emit formSubmitted(target, body);
    if (!CPageSchemeHandler::IsOwnUrl(target))
        return false; // a form of ours never posts anywhere else
    const std::string path = PagePath(target);
    if (path.empty())
        return true;
    const SubmitOutcome outcome = HandleSubmit(
        path,
        std::span<const unsigned char>(reinterpret_cast<const unsigned char*>(body.constData()),
                                       static_cast<std::size_t>(body.size())),
        inputs, GetClientSettings());
    if (outcome.showDefaults)
        m_bShowDefaults = true;
    if (outcome.showCertificate)
        ShowTsaCertificate();
    if (outcome.trustAuthority && GetZarnDoc() != nullptr)
        (void)GetZarnDoc()->TrustShownAuthority(); // shows its own question and outcome
    if (outcome.showAbout)
        ShowAboutPage();
    return !outcome.cancel;
}

void CZarnView::ShowTsaCertificate() {
    CZarnDoc* doc = GetZarnDoc();
    if (doc == nullptr || !doc->HasMainWindow())
        return;
    const std::span<const unsigned char> der = doc->SignerCertificateDer();
    if (der.empty())
        return;
    const std::string path = WriteTsaCertificateFile(TemporaryFolder(), der);
    if (path.empty())
        return;
    if (!CPageWebPage::OpenWithDesktop(QUrl::fromLocalFile(QString::fromStdString(path)))) {
        ::unlink(path.c_str());
        ErrorBoxF(IDS_VIEWER_START_FAILED, path);
        return;
    }
    KeepTsaCertificateFile(path);
}

// ---- Input -------------------------------------------------------------------------------

void CZarnView::WatchWidget(QObject* object) {
    object->installEventFilter(this);
    for (QObject* child : object->children())
        if (child->isWidgetType())
            WatchWidget(child);
}

bool CZarnView::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ChildAdded: {
        // The browser's render widget comes and goes with the pages: watch each one.
        QObject* child = static_cast<QChildEvent*>(event)->child();
        if (child != nullptr && child->isWidgetType())
            WatchWidget(child);
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
            return true;
        break;
    case QEvent::ContextMenu:
        return true;
    case QEvent::ShortcutOverride:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_F5) {
            event->accept();
            return true;
        }
        break;
    default:
        break;
    }
    return QWebEngineView::eventFilter(watched, event);
}

// ---- Printing ----------------------------------------------------------------------------

void CZarnView::SetPrintToPdfForTests(const QString& path) {
    PrintToPdfPath() = path;
}

std::unique_ptr<QPrinter> CZarnView::NewPrinter() {
    if (m_pPrinter)
        return nullptr; // one print at a time
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setResolution(kPrintDpi);
    return printer;
}

void CZarnView::StartPrint(std::unique_ptr<QPrinter> printer) {
    m_pPrinter = std::move(printer);
    print(m_pPrinter.get()); // printFinished releases the printer
}

void CZarnView::PrintWithDialog() {
    std::unique_ptr<QPrinter> printer = NewPrinter();
    if (!printer)
        return;
    QPrintDialog dialog(printer.get(), this);
    if (dialog.exec() == QDialog::Accepted)
        StartPrint(std::move(printer));
}

void CZarnView::PrintDirect() {
    std::unique_ptr<QPrinter> printer = NewPrinter();
    if (!printer)
        return;
    if (!PrintToPdfPath().isEmpty()) {
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(PrintToPdfPath());
    } else if (QPrinterInfo::availablePrinters().isEmpty()) {
        // Without a dialog there is no other place to print to. (The dialog offers a file.)
        ErrorBoxF(IDS_PRINT_FAILED, LoadResString(IDS_PRINT_NO_PRINTER));
        return;
    }
    StartPrint(std::move(printer));
}

void CZarnView::PrintPreview() {
    std::unique_ptr<QPrinter> printer = NewPrinter();
    if (!printer)
        return;
    QPrintPreviewDialog preview(printer.get(), this);
    // The preview paints at once; the browser prints asynchronously, so wait for it here.
    connect(&preview, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* target) {
        QEventLoop loop;
        connect(this, &QWebEngineView::printFinished, &loop, &QEventLoop::quit);
        print(target);
        loop.exec();
    });
    preview.exec();
}
