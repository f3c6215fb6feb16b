#include "ui/ZarnApp.h"

#include "core/ClientSettings.h"
#include "core/IConnectionPrompts.h"
#include "document/CommandLine.h"
#include "document/ZarnDoc.h"
#include "support/IMessageBoxes.h"
#include "support/Messages.h"
#include "support/StringIds.h"
#include "support/SupportFunctions.h"
#include "ui/ListFileWatcher.h"
#include "ui/MainFrame.h"
#include "ui/QtFrontEnd.h"
#include "ui/StampListBar.h"
#include "ui/TlUpdater.h"
#include "ui/ZarnView.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <array>
#include <cstring>
#include <unistd.h>

namespace {

QStringList& HelpDirsForTests() {
    static QStringList dirs;
    return dirs;
}

CZarnApp::UrlOpener& UrlOpenerForTests() {
    static CZarnApp::UrlOpener opener;
    return opener;
}

} // namespace

CZarnApp::CZarnApp() {
    // Without a block this process is on its own: it runs, and nobody can hand it anything.
    (void)m_block.Create(kInstanceBlockSize, kInstanceBlockName);
}

CZarnApp::~CZarnApp() {
    if (m_pNoticeServer != nullptr)
        m_pNoticeServer->close();
    m_pListWatcher.reset();
    // The window goes first (its view leaves the document; it deletes the settings).
    delete m_pFrame.data();
    if (m_pDoc != nullptr)
        m_pDoc->SetFrontEnd(nullptr);
    m_pDoc.reset();
    if (m_bInstalled) {
        SetMessageBoxes(m_pPreviousBoxes);
        SetConnectionPrompts(m_pPreviousPrompts);
    }
    if (m_bTranslatorInstalled)
        QCoreApplication::removeTranslator(&m_qtTranslator);
}

bool CZarnApp::InitInstance(const std::vector<std::string>& args) {
    if (!CheckInstance(args))
        return false;

    LoadQtTranslations();
    m_pMessageBoxes = std::make_unique<CQtMessageBoxes>();
    m_pPrompts = std::make_unique<CQtConnectionPrompts>();
    m_pPreviousBoxes = SetMessageBoxes(m_pMessageBoxes.get());
    m_pPreviousPrompts = SetConnectionPrompts(m_pPrompts.get());
    m_bInstalled = true;

    CClientSettings& settings = GetClientSettings();
    (void)UseUserIniFile(settings); // a folder that cannot be made leaves the defaults
    settings.Load();
    // The window shows the rows at once; the list bar reads the stamps' times meanwhile.
    m_stampList.LoadWithoutTimes(settings);

    m_pDoc = std::make_unique<CZarnDoc>(m_stampList);
    auto* frame = new CMainFrame;
    m_pFrame = frame;
    if (!frame->OnCreate()) {
        delete frame;
        return false;
    }
    frame->SetAppCommandHandler([this](unsigned id) { return OnCommand(id); });
    m_pFrontEnd = std::make_unique<CQtFrontEnd>(frame, frame->ListBar());
    m_pDoc->SetFrontEnd(m_pFrontEnd.get());
    frame->SetDocument(m_pDoc.get());
    // The panel is filled before the command line is carried out, so that a stamp it
    // lists gets its own row, chosen and shown.
    frame->View()->OnInitialUpdate();

    // The command line: a file named on it is opened (a stamp file is verified, any other
    // file stamped); printing and the other shell commands are not ours to carry out. The
    // file is named by its absolute path from here on, as a handed-over one is.
    std::vector<std::string> line = args;
    MakeParametersAbsolute(line, CurrentDirectory());
    std::vector<std::string> params;
    if (line.size() > 1)
        params.assign(line.begin() + 1, line.end());
    CCommandLineInfo info;
    ParseCommandLine(params, info);
    const bool done = info.m_nShellCommand == CCommandLineInfo::FileOpen
                          ? m_pDoc->OpenPaths(info.FileNames())
                          : m_pDoc->OnNewDocument();
    if (!done || m_pFrame.isNull()) {
        // The document has said why.
        delete m_pFrame.data();
        return false;
    }

    frame->UpdateFrameTitle();
    frame->show();
    // Only when the user asked for it in the settings, and at most once a week.
    if (settings.m_nTlAutoUpdate != 0)
        frame->TlUpdater()->StartWeekly();
    m_pListWatcher =
        std::make_unique<CListFileWatcher>(QString::fromStdString(settings.IniPath()), [this] {
            if (m_pDoc != nullptr)
                m_pDoc->ReloadList();
        });
    StartNoticeServer();
    WriteInstanceId();
    return true;
}

bool CZarnApp::CheckInstance(const std::vector<std::string>& args) {
    if (m_block.m_bCreated)
        return true;
    m_bSecondInstance = true;

    std::array<unsigned char, kInstanceBlockSize> bytes{};
    if (!m_block.Read(bytes.data(), kInstanceBlockSize, 0))
        return false;
    uint32_t id = 0;
    std::memcpy(&id, bytes.data() + kInstanceIdOffset, sizeof(id));
    if (id == 0)
        return false; // the running instance is still starting: it is left alone

    std::vector<std::string> line = args;
    MakeParametersAbsolute(line, CurrentDirectory());
    const std::optional<std::string> text = JoinCommandLine(line);
    if (text && text->size() < kCommandLineCapacity) {
        m_block.Lock();
        if (m_block.m_pData != nullptr)
            std::memcpy(m_block.m_pData + kCommandLineOffset, text->c_str(), text->size() + 1);
        m_block.Unlock();
        (void)CSharedMemory::PostNotice(kInstanceBlockName, WM_HANDOVER_CMDLINE);
    } else {
        // Too long to hand over: the running instance only comes to the front.
        (void)CSharedMemory::PostNotice(kInstanceBlockName, kNoticeActivate);
    }
    return false;
}

void CZarnApp::LoadQtTranslations() {
    if (m_qtTranslator.load(QStringLiteral("qtbase_cs"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        m_bTranslatorInstalled = QCoreApplication::installTranslator(&m_qtTranslator);
}

void CZarnApp::StartNoticeServer() {
    if (m_block.m_pData == nullptr)
        return;
    const QString path =
        QString::fromStdString(CSharedMemory::NoticeSocketPath(kInstanceBlockName));
    if (path.isEmpty())
        return;
    m_pNoticeServer = new QLocalServer(this);
    m_pNoticeServer->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the block, so a socket left there belongs to an instance that has died.
    QLocalServer::removeServer(path);
    if (!m_pNoticeServer->listen(path)) {
        delete m_pNoticeServer;
        m_pNoticeServer = nullptr;
        return;
    }
    connect(m_pNoticeServer, &QLocalServer::newConnection, this, &CZarnApp::OnNoticeConnection);
}

void CZarnApp::OnNoticeConnection() {
    while (QLocalSocket* socket = m_pNoticeServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { ReadNotice(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        ReadNotice(socket);
    }
}

void CZarnApp::ReadNotice(QLocalSocket* socket) {
    while (socket->bytesAvailable() >= static_cast<qint64>(sizeof(uint32_t))) {
        uint32_t word = 0;
        if (socket->read(reinterpret_cast<char*>(&word), sizeof(word)) != sizeof(word))
            break;
        // Dealt with from the event loop, as a posted message would be: the handling may
        // open a modal dialog.
        QTimer::singleShot(0, this, [this, word] { OnNotice(word); });
    }
}

void CZarnApp::OnNotice(uint32_t word) {
    // Nothing to raise or to open in once the window has closed: the program is ending.
    if ((word != WM_HANDOVER_CMDLINE && word != kNoticeActivate) || m_pFrame.isNull())
        return;
    ActivateMainWindow();
    if (word == WM_HANDOVER_CMDLINE)
        OnCommandLineHandOver();
    emit noticeHandled(word == WM_HANDOVER_CMDLINE);
}

void CZarnApp::ActivateMainWindow() {
    if (m_pFrame.isNull())
        return;
    if (m_pFrame->isMinimized())
        m_pFrame->showNormal();
    m_pFrame->raise();
    m_pFrame->activateWindow();
}

void CZarnApp::OnCommandLineHandOver() {
    std::string text;
    m_block.Lock();
    if (m_block.m_pData != nullptr) {
        const char* line = reinterpret_cast<const char*>(m_block.m_pData + kCommandLineOffset);
        text.assign(line, strnlen(line, kCommandLineCapacity)); // never past the block
    }
    m_block.Unlock();
    if (text.empty())
        return;

    std::vector<std::string> tokens = SplitHandOverCommandLine(text);
    if (!tokens.empty())
        tokens.erase(tokens.begin()); // the program path
    CCommandLineInfo info;
    ParseCommandLine(tokens, info);
    if (info.m_nShellCommand == CCommandLineInfo::FileOpen)
        (void)OpenDocumentFiles(info.FileNames());
}

bool CZarnApp::OpenDocumentFile(const std::string& path) {
    return OpenDocumentFiles({path});
}

bool CZarnApp::OpenDocumentFiles(const std::vector<std::string>& paths) {
    if (m_pDoc == nullptr)
        return false;
    const bool opened = m_pDoc->OpenPaths(paths);
    if (!m_pFrame.isNull())
        m_pFrame->UpdateFrameTitle();
    return opened;
}

void CZarnApp::WriteInstanceId() {
    const uint32_t id = static_cast<uint32_t>(::getpid());
    m_block.Lock();
    if (m_block.m_pData != nullptr)
        std::memcpy(m_block.m_pData + kInstanceIdOffset, &id, sizeof(id));
    m_block.Unlock();
}

CMainFrame* CZarnApp::MainFrame() const {
    return m_pFrame.data();
}

bool CZarnApp::OnCommand(unsigned id) {
    switch (id) {
    case ID_HELP_CONTENTS:
        OnHelp();
        return true;
    case ID_APP_EXIT:
        if (!m_pFrame.isNull())
            m_pFrame->close();
        return true;
    default:
        return false;
    }
}

QString CZarnApp::HelpFilePath() {
    const QString name = QString::fromStdString(LoadResString(IDS_HELP_PAGE));
    QStringList dirs = HelpDirsForTests();
    if (dirs.isEmpty()) {
        std::string directory;
        const QString programDir = QString::fromStdString(ModuleDirectory(directory));
        dirs << programDir << programDir + QStringLiteral("/../share/mivoklient");
    }
    for (const QString& dir : dirs) {
        const QFileInfo file(dir + QLatin1Char('/') + name);
        if (file.isFile())
            return file.canonicalFilePath();
    }
    return {};
}

void CZarnApp::OnHelp() {
    const QString path = HelpFilePath();
    if (path.isEmpty())
        return; // no help installed: as without a help menu
    const QUrl url = QUrl::fromLocalFile(path);
    const bool started =
        UrlOpenerForTests() ? UrlOpenerForTests()(url) : QDesktopServices::openUrl(url);
    if (!started)
        ErrorBoxF(IDS_HELP_START_FAILED, path.toStdString());
}

void CZarnApp::SetHelpDirsForTests(const QStringList& dirs) {
    HelpDirsForTests() = dirs;
}

void CZarnApp::SetUrlOpenerForTests(UrlOpener opener) {
    UrlOpenerForTests() = std::move(opener);
}
