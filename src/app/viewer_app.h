// CViewerApp: the application object. It starts the program (recent-file list, main frame,
// command line), owns the open documents and their windows, keeps the recent-file list, and
// routes every command: the active view first, then its document, the main frame and itself.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "view/command_map.h"

class CDibDoc;
class CDibView;
class CMainFrame;
class QCommandLineParser;
class QMdiSubWindow;
class QPrinter;
class UserPrompts;

constexpr int kRecentFileCount = 4;

// The command line: dorvanta [file...], with --help, --help-all and --version.
void SetUpCommandLine(QCommandLineParser& parser);
// True when the command line asks only for a text (help or version): no window is needed.
bool AsksForInformation(const QStringList& arguments);

class CViewerApp : public QObject {
    Q_OBJECT

  public:
    // settingsFile: where the recent-file list is kept; empty for the user's own profile.
    explicit CViewerApp(UserPrompts& ui, const QString& settingsFile = {});
    ~CViewerApp() override;

    // Start-up; false when the program is to end (frame creation or the command line failed).
    // arguments include the program name, as the process received them.
    bool InitInstance(const QStringList& arguments);
    int ExitCode() const { return m_nExitCode; }

    CMainFrame* MainFrame() const { return m_pMainFrame.get(); }
    UserPrompts& Prompts() const { return m_ui; }
    QPrinter& Printer() const { return *m_printer; }

    // Documents and their windows.
    CDibDoc* OnFileNew();
    CDibDoc* OpenDocumentFile(const QString& path);
    CDibView* OpenWindow(CDibDoc& doc);
    bool SaveModified(CDibDoc& doc);
    bool SaveAllModified();
    void CloseDocument(CDibDoc& doc);
    std::vector<CDibDoc*> Documents() const;
    std::vector<CDibDoc*> DocumentsInWindowOrder() const;
    std::vector<CDibView*> ViewsOf(const CDibDoc& doc) const;
    CDibView* ActiveView() const;
    CDibDoc* ActiveDocument() const;
    QString WindowTitleOf(const CDibView& view) const;

    // Command routing.
    bool Execute(int id);
    void Update(CmdUI& ui) const;

    // The most recently used files, newest first.
    QStringList RecentFiles() const { return m_recentFiles; }
    void AddToRecentFileList(const QString& path);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct OpenDocument;

    void LoadStdProfileSettings();
    void SaveRecentFiles() const;
    bool ParseCommandLine(const QStringList& arguments, QStringList& files);
    bool ProcessShellCommand(const QStringList& files);
    std::unique_ptr<CDibDoc> CreateDocument();
    void RegisterCommands();
    void RegisterDocumentCommands(OpenDocument& entry);
    void OnFileOpen();
    void OnOpenRecentFile(int index);
    void OnViewDestroyed(CDibDoc* doc, CDibView* view);
    void OnSubWindowActivated(QMdiSubWindow* window);
    OpenDocument* EntryOf(const CDibDoc* doc) const;
    CDibDoc* Adopt(std::unique_ptr<CDibDoc> doc);

    UserPrompts& m_ui;
    QString m_settingsFile;
    QStringList m_recentFiles;
    std::unique_ptr<QPrinter> m_printer;
    std::vector<std::unique_ptr<OpenDocument>> m_documents;
    std::unique_ptr<CMainFrame> m_pMainFrame;
    CommandMap m_commands;
    int m_nExitCode = 0;
    bool m_bShuttingDown = false;
};
