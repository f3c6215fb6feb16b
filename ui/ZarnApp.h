// The application: keeps the program to one running instance per user (a second start hands
// its command line to the running one and ends), loads the settings and the stamped-files
// list, builds the document, the main window and its view, carries out the command line
// and opens the help page.
#pragma once

#include "list/StampList.h"
#include "platform/SharedMemory.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTranslator>
#include <QUrl>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CListFileWatcher;
class CMainFrame;
class CQtConnectionPrompts;
class CQtFrontEnd;
class CQtMessageBoxes;
class CZarnDoc;
class IConnectionPrompts;
class IMessageBoxes;
class QLocalServer;
class QLocalSocket;

class CZarnApp : public QObject {
    Q_OBJECT

public:
    // Creates or opens the instance block. A QApplication must exist.
    CZarnApp();
    ~CZarnApp() override;
    CZarnApp(const CZarnApp&) = delete;
    CZarnApp& operator=(const CZarnApp&) = delete;

    // Starts the program with the parameters of this start (`args[0]` the program as it was
    // called; the toolkit's own options already taken out). False when the program is to
    // end now: another instance runs (see EndedAsSecondInstance), or the command line could
    // not be carried out.
    [[nodiscard]] bool InitInstance(const std::vector<std::string>& args);
    // True when InitInstance ended because another instance is running.
    bool EndedAsSecondInstance() const { return m_bSecondInstance; }

    // The application's commands: 32775 help, 57665 exit. True when handled.
    bool OnCommand(unsigned id);
    // Opens the help page in the desktop's browser; a missing page is ignored silently.
    void OnHelp();
    // The help page: napoveda.html beside the program, else in the installed data folder
    // (<prefix>/share/mivoklient). Empty when there is none.
    static QString HelpFilePath();

    // Opens `path` as the document does for a file named on the command line.
    [[nodiscard]] bool OpenDocumentFile(const std::string& path);
    // Opens paths handed over together (a drop, a command line with several files).
    [[nodiscard]] bool OpenDocumentFiles(const std::vector<std::string>& paths);

    CMainFrame* MainFrame() const;
    CZarnDoc* Document() const { return m_pDoc.get(); }
    CStampList& StampList() { return m_stampList; }
    CSharedMemory& InstanceBlock() { return m_block; }

    // Tests: where the help page is looked for (empty: the program's places), and what
    // opens a URL in the desktop's browser instead of the desktop.
    static void SetHelpDirsForTests(const QStringList& dirs);
    using UrlOpener = std::function<bool(const QUrl&)>;
    static void SetUrlOpenerForTests(UrlOpener opener);

signals:
    // A second start's notice has been dealt with (`handedOver`: it carried a command line).
    void noticeHandled(bool handedOver);

private:
    // True when this process is the only instance; otherwise hands the command line over.
    [[nodiscard]] bool CheckInstance(const std::vector<std::string>& args);
    void LoadQtTranslations();
    void StartNoticeServer();
    void OnNoticeConnection();
    void ReadNotice(QLocalSocket* socket);
    void OnNotice(uint32_t word);
    // Raises the main window, restoring it when it is minimised.
    void ActivateMainWindow();
    // Reads the handed-over command line from the block and opens the file it names.
    void OnCommandLineHandOver();
    void WriteInstanceId();

    CSharedMemory m_block;
    CStampList m_stampList;
    std::unique_ptr<CZarnDoc> m_pDoc;
    std::unique_ptr<CListFileWatcher> m_pListWatcher; // the window follows the stored list
    QPointer<CMainFrame> m_pFrame;
    std::unique_ptr<CQtFrontEnd> m_pFrontEnd;
    std::unique_ptr<CQtMessageBoxes> m_pMessageBoxes;
    std::unique_ptr<CQtConnectionPrompts> m_pPrompts;
    IMessageBoxes* m_pPreviousBoxes = nullptr;
    IConnectionPrompts* m_pPreviousPrompts = nullptr;
    bool m_bInstalled = false;
    QLocalServer* m_pNoticeServer = nullptr;
    QTranslator m_qtTranslator;
    bool m_bTranslatorInstalled = false;
    bool m_bSecondInstance = false;
};
