#include "app/viewer_app.h"
#include "app/svg_export_dialog.h"

#include <QCloseEvent>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QScreen>
#include <QSettings>
#include <QThread>
#include <QWindow>
#include <algorithm>
#include <cstdio>

#include "app/about_dialog.h"
#include "app/color_help_dialog.h"
#include "app/draw_order_dialog.h"
#include "app/export_animation.h"
#include "app/export_picture.h"
#include "app/help_texts.h"
#include "app/jpeg_quality_dialog.h"
#include "app/main_frame.h"
#include "app/order_number_dialog.h"
#include "app/random_choice_dialog.h"
#include "document/dib_doc.h"
#include "view/command_ids.h"
#include "view/dib_view.h"
#include "view/view_dialogs.h"

struct CViewerApp::OpenDocument {
    std::unique_ptr<CDibDoc> doc;
    CommandMap commands;
    std::vector<CDibView*> views;
};

namespace {

constexpr const char* kRecentGroup = "Recent File List";

// Messages of the files opened at start-up are centred on the main window: the window system
// places it first (a moment after it is shown, not long enough to wait for one that never shows).
void WaitUntilPlaced(const QWidget& window) {
    QElapsedTimer waited;
    waited.start();
    const QWindow* handle = window.windowHandle();
    while (handle && !handle->isExposed() && waited.elapsed() < 1000) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    QCoreApplication::processEvents();
}

// The dialogs of the view's commands live in this layer; the views reach them through here.
void ProvideViewDialogs() {
    ViewDialogs& dialogs = GetViewDialogs();
    dialogs.askOrderNumber = AskOrderNumber;
    dialogs.runDrawOrders = [](QWidget* parent, FigureParams& figure,
                               const std::function<void()>& applied,
                               UserPrompts& ui) { RunDrawOrderCycle(parent, figure, applied, ui); };
    dialogs.editRandomChoice = EditRandomChoice;
    dialogs.helpOnColors = ShowColorHelp;
    dialogs.helpOnPovRay = [](QWidget*, UserPrompts& ui) { ShowPovRayHelp(ui); };
    dialogs.askSvgExport = AskSvgExport;
}

}  // namespace

void SetUpCommandLine(QCommandLineParser& parser) {
    parser.setApplicationDescription("Dorvanta program: golden-section figures.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        "file", "A Dorvanta (.dat), bitmap (.bmp), Jpeg (.jpg) or Png (.png) file.", "[file]");
}

bool AsksForInformation(const QStringList& arguments) {
    QCommandLineParser parser;
    SetUpCommandLine(parser);
    return parser.parse(arguments) &&
           (parser.isSet("help") || parser.isSet("help-all") || parser.isSet("version"));
}

CViewerApp::CViewerApp(UserPrompts& ui, const QString& settingsFile)
    : m_ui(ui), m_settingsFile(settingsFile), m_printer(new QPrinter(QPrinter::HighResolution)) {
    ProvideViewDialogs();
    RegisterCommands();
}

CViewerApp::~CViewerApp() {
    m_bShuttingDown = true;
    m_pMainFrame.reset();
    m_documents.clear();
}

// ---- Start-up --------------------------------------------------------------------------------

bool CViewerApp::InitInstance(const QStringList& arguments) {
    LoadStdProfileSettings();
    // The command line is read before any window exists: --help and --version show none.
    QStringList files;
    if (!ParseCommandLine(arguments, files)) return false;
    m_pMainFrame = std::make_unique<CMainFrame>(*this);
    if (!m_pMainFrame->OnCreate()) {
        m_pMainFrame.reset();
        m_nExitCode = 1;
        return false;
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        m_pMainFrame->resize(area.width() * 3 / 4, area.height() * 3 / 4);
    }
    m_pMainFrame->show();
    WaitUntilPlaced(*m_pMainFrame);
    connect(m_pMainFrame->MdiArea(), &QMdiArea::subWindowActivated, this,
            &CViewerApp::OnSubWindowActivated);
    if (!ProcessShellCommand(files)) {
        m_nExitCode = 1;
        return false;
    }
    m_pMainFrame->UpdateCommandUI();
    return true;
}

// False, with the exit code set, when the program is to end: a wrong option, or a request for
// the help text or the version, which is printed.
bool CViewerApp::ParseCommandLine(const QStringList& arguments, QStringList& files) {
    QCommandLineParser parser;
    SetUpCommandLine(parser);
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.errorText()));
        m_nExitCode = 2;
        return false;
    }
    if (parser.isSet("help") || parser.isSet("help-all")) {
        std::printf("%s", qPrintable(parser.helpText()));
        std::fflush(stdout);
        m_nExitCode = 0;
        return false;
    }
    if (parser.isSet("version")) {
        std::printf("Dorvanta %s\n", DORVANTA_VERSION);
        std::fflush(stdout);
        m_nExitCode = 0;
        return false;
    }
    files = parser.positionalArguments();
    return true;
}

// dorvanta [file...]: without a file a new document paints the default figure.
bool CViewerApp::ProcessShellCommand(const QStringList& files) {
    if (files.isEmpty()) return OnFileNew() != nullptr;
    for (const QString& file : files) {
        if (!OpenDocumentFile(file)) return false;
    }
    return true;
}

void CViewerApp::LoadStdProfileSettings() {
    auto settings = m_settingsFile.isEmpty()
                        ? std::make_unique<QSettings>()
                        : std::make_unique<QSettings>(m_settingsFile, QSettings::IniFormat);
    settings->beginGroup(kRecentGroup);
    m_recentFiles.clear();
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString file = settings->value(QString("File%1").arg(i)).toString();
        if (!file.isEmpty()) m_recentFiles << file;
    }
}

void CViewerApp::SaveRecentFiles() const {
    auto settings = m_settingsFile.isEmpty()
                        ? std::make_unique<QSettings>()
                        : std::make_unique<QSettings>(m_settingsFile, QSettings::IniFormat);
    settings->remove(kRecentGroup);
    settings->beginGroup(kRecentGroup);
    for (int i = 0; i < m_recentFiles.size(); ++i) {
        settings->setValue(QString("File%1").arg(i + 1), m_recentFiles[i]);
    }
}

void CViewerApp::AddToRecentFileList(const QString& path) {
    const QString full = QFileInfo(path).absoluteFilePath();
    m_recentFiles.removeAll(full);
    m_recentFiles.prepend(full);
    while (m_recentFiles.size() > kRecentFileCount) m_recentFiles.removeLast();
    SaveRecentFiles();
}

// ---- Documents -------------------------------------------------------------------------------

CDibDoc* CViewerApp::Adopt(std::unique_ptr<CDibDoc> doc) {
    auto entry = std::make_unique<OpenDocument>();
    entry->doc = std::move(doc);
    RegisterDocumentCommands(*entry);
    CDibDoc* result = entry->doc.get();
    m_documents.push_back(std::move(entry));
    OpenWindow(*result);
    m_pMainFrame->ShowMenu(true);
    return result;
}

// Every file a document opens or saves goes to the top of the recent-file list.
std::unique_ptr<CDibDoc> CViewerApp::CreateDocument() {
    auto doc = std::make_unique<CDibDoc>(m_ui);
    doc->onAddToRecentFileList = [this](const std::string& path) {
        AddToRecentFileList(QString::fromStdString(path));
    };
    return doc;
}

CDibDoc* CViewerApp::OnFileNew() {
    auto doc = CreateDocument();
    if (!doc->OnNewDocument()) return nullptr;
    return Adopt(std::move(doc));
}

CDibDoc* CViewerApp::OpenDocumentFile(const QString& path) {
    const QString full = QFileInfo(path).absoluteFilePath();
    for (const auto& entry : m_documents) {
        if (QString::fromStdString(entry->doc->GetPathName()) == full && !entry->views.empty()) {
            m_pMainFrame->MdiArea()->setActiveSubWindow(
                qobject_cast<QMdiSubWindow*>(entry->views.front()->parentWidget()));
            return entry->doc.get();
        }
    }
    const std::string name = QDir::toNativeSeparators(full).toStdString();
    auto doc = CreateDocument();
    // The document reports its own failures and, on success, enters the file in the list.
    if (!doc->OnOpenDocument(name)) return nullptr;
    return Adopt(std::move(doc));
}

CDibView* CViewerApp::OpenWindow(CDibDoc& doc) {
    OpenDocument* entry = EntryOf(&doc);
    if (!entry) return nullptr;
    auto* view = new CDibView(doc);
    view->SetPrinter(m_printer.get());
    QMdiSubWindow* window = m_pMainFrame->MdiArea()->addSubWindow(view);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->installEventFilter(this);
    entry->views.push_back(view);
    connect(view, &QObject::destroyed, this, [this, &doc, view] { OnViewDestroyed(&doc, view); });
    window->setWindowTitle(WindowTitleOf(*view));
    window->setGeometry(m_pMainFrame->PlaceForNewWindow());
    window->show();
    view->OnInitialUpdate();
    m_pMainFrame->MdiArea()->setActiveSubWindow(window);
    view->setFocus();
    return view;
}

// The last window of a document offers to save it before it closes.
bool CViewerApp::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close) {
        auto* window = qobject_cast<QMdiSubWindow*>(watched);
        auto* view = window ? qobject_cast<CDibView*>(window->widget()) : nullptr;
        if (view && ViewsOf(view->GetDocument()).size() == 1 &&
            !SaveModified(view->GetDocument())) {
            event->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void CViewerApp::OnViewDestroyed(CDibDoc* doc, CDibView* view) {
    OpenDocument* entry = EntryOf(doc);
    if (!entry) return;
    std::erase(entry->views, view);
    if (!entry->views.empty()) return;
    std::erase_if(m_documents, [doc](const auto& e) { return e->doc.get() == doc; });
    if (!m_bShuttingDown && m_documents.empty() && m_pMainFrame) m_pMainFrame->ShowMenu(false);
}

void CViewerApp::OnSubWindowActivated(QMdiSubWindow* window) {
    if (auto* view = window ? qobject_cast<CDibView*>(window->widget()) : nullptr) {
        view->OnActivateView(true);
    }
    if (m_pMainFrame) m_pMainFrame->UpdateTitle();
}

bool CViewerApp::SaveModified(CDibDoc& doc) {
    return doc.SaveModified();
}

bool CViewerApp::SaveAllModified() {
    for (CDibDoc* doc : Documents()) {
        if (!SaveModified(*doc)) return false;
    }
    return true;
}

void CViewerApp::CloseDocument(CDibDoc& doc) {
    if (!SaveModified(doc)) return;
    for (CDibView* view : ViewsOf(doc)) {
        QWidget* window = view->parentWidget();
        window->removeEventFilter(this);
        window->close();
    }
}

std::vector<CDibDoc*> CViewerApp::Documents() const {
    std::vector<CDibDoc*> docs;
    for (const auto& entry : m_documents) docs.push_back(entry->doc.get());
    return docs;
}

// As the Window menu lists them; a document with several windows counts at its first.
std::vector<CDibDoc*> CViewerApp::DocumentsInWindowOrder() const {
    std::vector<CDibDoc*> docs;
    if (!m_pMainFrame) return docs;
    for (QMdiSubWindow* window : m_pMainFrame->MdiArea()->subWindowList()) {
        auto* view = qobject_cast<CDibView*>(window->widget());
        if (view && std::find(docs.begin(), docs.end(), &view->GetDocument()) == docs.end()) {
            docs.push_back(&view->GetDocument());
        }
    }
    return docs;
}

std::vector<CDibView*> CViewerApp::ViewsOf(const CDibDoc& doc) const {
    OpenDocument* entry = EntryOf(&doc);
    return entry ? entry->views : std::vector<CDibView*>{};
}

CViewerApp::OpenDocument* CViewerApp::EntryOf(const CDibDoc* doc) const {
    for (const auto& entry : m_documents) {
        if (entry->doc.get() == doc) return entry.get();
    }
    return nullptr;
}

CDibView* CViewerApp::ActiveView() const {
    if (!m_pMainFrame) return nullptr;
    QMdiSubWindow* window = m_pMainFrame->MdiArea()->currentSubWindow();
    return window ? qobject_cast<CDibView*>(window->widget()) : nullptr;
}

CDibDoc* CViewerApp::ActiveDocument() const {
    CDibView* view = ActiveView();
    return view ? &view->GetDocument() : nullptr;
}

// A document shown in several windows numbers them: "name:1", "name:2".
QString CViewerApp::WindowTitleOf(const CDibView& view) const {
    const CDibDoc& doc = view.GetDocument();
    const QString title = QString::fromStdString(doc.GetTitle());
    const std::vector<CDibView*> views = ViewsOf(doc);
    if (views.size() < 2) return title;
    const auto position = std::find(views.begin(), views.end(), &view) - views.begin();
    return QString("%1:%2").arg(title).arg(position + 1);
}

// ---- Commands --------------------------------------------------------------------------------

bool CViewerApp::Execute(int id) {
    CDibView* view = ActiveView();
    OpenDocument* entry = view ? EntryOf(&view->GetDocument()) : nullptr;
    const bool ran =
        RouteCommand({view ? &view->Commands() : nullptr, entry ? &entry->commands : nullptr,
                      m_pMainFrame ? &m_pMainFrame->Commands() : nullptr, &m_commands},
                     id);
    if (m_pMainFrame) m_pMainFrame->UpdateCommandUI();
    return ran;
}

void CViewerApp::Update(CmdUI& ui) const {
    CDibView* view = ActiveView();
    OpenDocument* entry = view ? EntryOf(&view->GetDocument()) : nullptr;
    RouteUpdate({view ? &view->Commands() : nullptr, entry ? &entry->commands : nullptr,
                 m_pMainFrame ? &m_pMainFrame->Commands() : nullptr, &m_commands},
                ui);
}

void CViewerApp::RegisterCommands() {
    m_commands.On(ID_FILE_NEW, [this] { OnFileNew(); });
    m_commands.On(ID_FILE_OPEN, [this] { OnFileOpen(); });
    m_commands.On(ID_FILE_PRINT_SETUP, [this] {
        QPageSetupDialog dialog(m_printer.get(), m_pMainFrame.get());
        dialog.exec();
    });
    m_commands.OnRange(
        ID_FILE_MRU_FILE1, ID_FILE_MRU_FILE4,
        [this](int id) { OnOpenRecentFile(id - ID_FILE_MRU_FILE1); },
        [this](CmdUI& ui) { ui.Enable(ui.id - ID_FILE_MRU_FILE1 < m_recentFiles.size()); });
    m_commands.On(ID_APP_EXIT, [this] { m_pMainFrame->close(); });
    m_commands.On(ID_APP_ABOUT, [this] { ShowAboutBox(m_pMainFrame.get(), m_ui); });
    m_commands.On(ID_FILE_EXPORT_ANIMATION, [this] {
        ExportAnimationOf(DocumentsInWindowOrder(), m_ui, m_pMainFrame.get());
    });
}

void CViewerApp::RegisterDocumentCommands(OpenDocument& entry) {
    CDibDoc& doc = *entry.doc;
    CommandMap& map = entry.commands;
    map.On(ID_FILE_OPEN, [&doc] {
        doc.OnFileOpen();
        doc.UpdateAllViews();
    });
    map.On(ID_FILE_SAVE, [&doc] { doc.OnFileSave(); });
    map.On(ID_FILE_SAVE_AS, [&doc] { doc.OnFileSaveAs(); });
    map.On(ID_FILE_CLOSE, [this, &doc] { CloseDocument(doc); });
    map.On(
        ID_PICTURE_JPEG, [&doc] { doc.OnPictureJpeg(); },
        [&doc](CmdUI& ui) { ui.SetCheck(doc.IsJpegChecked()); });
    map.On(
        ID_PICTURE_BITMAP, [&doc] { doc.OnPictureBitmap(); },
        [&doc](CmdUI& ui) { ui.SetCheck(doc.IsBitmapChecked()); });
    map.On(
        ID_PICTURE_PNG, [&doc] { doc.OnPicturePng(); },
        [&doc](CmdUI& ui) { ui.SetCheck(doc.IsPngChecked()); });
    map.On(ID_PICTURE_JPEG_QUALITY, [this, &doc] {
        doc.SetJpegQuality(AskJpegQuality(m_pMainFrame.get(), doc.m_nJpegQuality, m_ui));
    });
    map.On(
        ID_FILE_EXPORT_PICTURE, [this, &doc] { ExportPicture(doc, m_ui, m_pMainFrame.get()); },
        [&doc](CmdUI& ui) { ui.Enable(!doc.m_bBitmapMode); });
}

// Without an open document, Open opens the chosen file as a new document.
void CViewerApp::OnFileOpen() {
    std::string path;
    if (!m_ui.AskOpenPath("Dorvanta (*.dat)|*.dat|All Files (*.*)|*.*||", ".dat", path)) return;
    OpenDocumentFile(QString::fromStdString(path));
}

void CViewerApp::OnOpenRecentFile(int index) {
    if (index < 0 || index >= m_recentFiles.size()) return;
    const QString path = m_recentFiles[index];
    if (!OpenDocumentFile(path)) {
        m_recentFiles.removeAll(path);
        SaveRecentFiles();
    }
}
