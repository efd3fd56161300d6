#include "app/command_table.h"

#include <map>
#include <set>

#include "view/command_ids.h"

const std::vector<MenuDefinition>& DocumentMenu() {
    static const std::vector<MenuDefinition> menu = {
        {"&File",
         {{ID_FILE_NEW, "&New       (Dorvanta) \tCtrl+N"},
          {ID_FILE_OPEN, "&Open...\tCtrl+O"},
          {ID_FILE_CLOSE, "&Close"},
          {ID_FILE_SAVE, "&Save          (Picture) \tCtrl+S"},
          {ID_FILE_SAVE_AS, "Save &As...  (Picture)"},
          {},
          // Exports beside the picture files: any size, vectors and motion.
          {ID_FILE_EXPORT_PICTURE, "&Export Picture..."},
          {ID_FILE_EXPORT_SVG, "Export SV&G..."},
          {ID_FILE_EXPORT_ANIMATION, "Export Ani&mation..."},
          {},
          {ID_DORVANTA_DATA, "Dorvanta Data\tEnter"},
          {ID_SAVE_NEXT_FILE, "Save Picture and Data to next file"},
          {},
          {ID_FILE_PRINT, "&Print...\tCtrl+P"},
          {ID_FILE_PRINT_PREVIEW, "Print Pre&view"},
          {ID_FILE_PRINT_SETUP, "P&rint Setup..."},
          {},
          {ID_FILE_MRU_FILE1, "Recent File"},
          {},
          {ID_APP_EXIT, "E&xit"}}},
        {"&Edit",
         {{ID_EDIT_UNDO, "&Undo\tCtrl+Z"},
          {ID_EDIT_REDO, "&Redo\tCtrl+Y"},
          {},
          {ID_EDIT_CUT, "Cu&t\tCtrl+X"},
          {ID_EDIT_COPY, "&Copy\tCtrl+C"},
          {ID_EDIT_PASTE, "&Paste\tCtrl+V"},
          {},
          {ID_MAKE_POV_DATA, "Make Pov Data"},
          {ID_HELP_POVRAY, "Help on Pov-Ray"}}},
        {"Draw Order",
         {{ID_DRAW_ORDERS, "Draw Orders"},
          {ID_DRAW_ONLY_ONE, "Draw Only One"},
          {},
          {ID_ORDER_0 + 0, "Order 0\t0"},
          {ID_ORDER_0 + 1, "Order 1\t1"},
          {ID_ORDER_0 + 2, "Order 2\t2"},
          {ID_ORDER_0 + 3, "Order 3\t3"},
          {ID_ORDER_0 + 4, "Order 4\t4"},
          {ID_ORDER_0 + 5, "Order 5\t5"},
          {ID_ORDER_0 + 6, "Order 6\t6"},
          {ID_ORDER_0 + 7, "Order 7\t7"},
          {ID_ORDER_0 + 8, "Order 8\t8"},
          {ID_ORDER_0 + 9, "Order 9\t9"}}},
        {"Picture",
         {{ID_PICTURE_JPEG, "Jpeg"},
          {ID_PICTURE_JPEG_QUALITY, "Jpeg Quality ..."},
          {ID_PICTURE_BITMAP, "Bitmap"},
          {ID_PICTURE_PNG, "Png"}}},
        {"&Colors",
         {{ID_SELECT_ORDER_NR, "Select Order Nr"},
          {},
          {ID_COLOR_BACKGROUND, "Back Ground"},
          {ID_COLOR_REFERENCE_LINE, "Reference Line"},
          {ID_COLOR_PAGE, "Select Colors, Transparency and Orders"},
          {},
          {ID_RANDOM_COLORS, "Randomly Choose Colors\tQ"},
          {ID_AUTO_SAVE, "Automatic Save after Random Colors"},
          {ID_RANDOM_CHOICE_SETTINGS, "Random Choice Settings..."},
          {},
          {ID_COLOR_HELP, "Help on Colors"}}},
        {"&Arrow Keys",
         {{ID_ARROW_CHANGE_CENTRE, "Change Centre"},
          {ID_ARROW_CHANGE_OFFSET, "Change Un and Gs offset"}}},
        {"&View",
         {{ID_VIEW_TOOLBAR, "&Toolbar"},
          {ID_VIEW_STATUS_BAR, "&Status Bar"},
          {ID_VIEW_FIT_TO_WINDOW, "Fit to Window"},
          {},
          {ID_VIEW_BITMAP, "Bitmap View"},
          {ID_VIEW_DORVANTA, "Dorvanta View"}}},
        {"&Window",
         {{ID_WINDOW_NEW, "&New Window"},
          {ID_WINDOW_CASCADE, "&Cascade"},
          {ID_WINDOW_TILE_HORZ, "&Tile"},
          {ID_WINDOW_ARRANGE, "&Arrange Icons"}}},
        {"&Help",
         {{ID_APP_ABOUT, "&About View Dorvanta..."},
          {ID_COLOR_HELP, "Help on Colors, Transparency and Orders..."},
          {ID_HELP_POVRAY, "Help on Pov-Ray"}}},
    };
    return menu;
}

const std::vector<MenuDefinition>& NoDocumentMenu() {
    static const std::vector<MenuDefinition> menu = {
        {"&File",
         {{ID_FILE_NEW, "&New\tCtrl+N"},
          {ID_FILE_OPEN, "&Open...\tCtrl+O"},
          {},
          {ID_FILE_PRINT_SETUP, "P&rint Setup..."},
          {},
          {ID_FILE_MRU_FILE1, "Recent File"},
          {},
          {ID_APP_EXIT, "E&xit"}}},
        {"&View", {{ID_VIEW_TOOLBAR, "&Toolbar"}, {ID_VIEW_STATUS_BAR, "&Status Bar"}}},
        {"&Help", {{ID_APP_ABOUT, "&About View Dorvanta"}}},
    };
    return menu;
}

namespace {

// Accelerator-table entries besides the key a menu text shows.
const std::map<int, std::vector<QKeySequence>>& ExtraAccelerators() {
    static const std::map<int, std::vector<QKeySequence>> keys = {
        {ID_EDIT_UNDO, {QKeySequence(Qt::ALT | Qt::Key_Backspace)}},
        {ID_EDIT_REDO, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)}},
        {ID_EDIT_CUT, {QKeySequence(Qt::SHIFT | Qt::Key_Delete)}},
        {ID_EDIT_COPY, {QKeySequence(Qt::CTRL | Qt::Key_Insert)}},
        {ID_EDIT_PASTE, {QKeySequence(Qt::SHIFT | Qt::Key_Insert)}},
        {ID_RANDOM_COLORS, {QKeySequence(Qt::SHIFT | Qt::Key_Q)}},
        {ID_NEXT_PANE, {QKeySequence(Qt::Key_F6)}},
        {ID_PREV_PANE, {QKeySequence(Qt::SHIFT | Qt::Key_F6)}},
    };
    return keys;
}

const char* TextIn(const std::vector<MenuDefinition>& menus, int id) {
    for (const MenuDefinition& menu : menus) {
        for (const MenuEntry& entry : menu.entries) {
            if (entry.id == id) return entry.text;
        }
    }
    return nullptr;
}

const char* DocumentMenuText(int id) {
    const char* text = TextIn(DocumentMenu(), id);
    return text ? text : "";
}

const std::map<int, const char*>& Prompts() {
    static const std::map<int, const char*> prompts = {
        // The program's own prompts.
        {ID_FILE_NEW, "Create a new document"},
        {ID_FILE_OPEN, "Open a dorvanta Dat file\nOpen a dorvanta Dat file"},
        {ID_FILE_SAVE, "Save the picture\nSave the picture"},
        {ID_FILE_SAVE_AS, "Save the active document with a new name"},
        {ID_FILE_PRINT, "Print the active document"},
        {ID_EDIT_COPY, "Copy the selection and puts it on the Clipboard"},
        {ID_EDIT_CUT, "Cut the selection and puts it on the Clipboard"},
        {ID_EDIT_PASTE, "Insert Clipboard contents"},
        {ID_DORVANTA_DATA, "Change offset, lines size picture\nChange offset, lines size picture"},
        {ID_COLOR_PAGE,
         "Select Colors, Items and Transparency\nSelect Colors, Items and Transparency"},
        {ID_SAVE_NEXT_FILE, "Save Bmp and Data to next File\nSave Bmp and Data to next File"},
        {ID_FILE_EXPORT_PICTURE,
         "Paint the figure at any size into a picture file\nExport Picture"},
        {ID_FILE_EXPORT_ANIMATION,
         "Make a video or an animated PNG of the open figures in motion\nExport Animation"},
        // The framework's standard prompts.
        {ID_FILE_CLOSE, "Close the active document\nClose"},
        {ID_FILE_PRINT_SETUP, "Change the printer and printing options\nPrint Setup"},
        {ID_FILE_PRINT_PREVIEW, "Display full pages\nPrint Preview"},
        {ID_FILE_MRU_FILE1, "Open this document"},
        {ID_FILE_MRU_FILE1 + 1, "Open this document"},
        {ID_FILE_MRU_FILE1 + 2, "Open this document"},
        {ID_FILE_MRU_FILE4, "Open this document"},
        {ID_APP_EXIT, "Quit the application; prompts to save documents\nExit"},
        {ID_EDIT_UNDO, "Undo the last action\nUndo"},
        {ID_EDIT_REDO, "Redo the previously undone action\nRedo"},
        {ID_WINDOW_NEW, "Open another window for the active document\nNew Window"},
        {ID_WINDOW_ARRANGE, "Arrange icons at the bottom of the window\nArrange Icons"},
        {ID_WINDOW_CASCADE, "Arrange windows so they overlap\nCascade Windows"},
        {ID_WINDOW_TILE_HORZ, "Arrange windows as non-overlapping tiles\nTile Windows"},
        {ID_APP_ABOUT, "Display program information, version number and copyright\nAbout"},
        {ID_NEXT_PANE, "Switch to the next window pane\nNext Pane"},
        {ID_PREV_PANE, "Switch back to the previous window pane\nPrevious Pane"},
        {ID_VIEW_TOOLBAR, "Show or hide the toolbar\nToggle ToolBar"},
        {ID_VIEW_STATUS_BAR, "Show or hide the status bar\nToggle StatusBar"},
    };
    return prompts;
}

QString PromptPart(int id, bool tooltip) {
    auto it = Prompts().find(id);
    if (it == Prompts().end()) return {};
    const QString prompt = QString::fromUtf8(it->second);
    const qsizetype newline = prompt.indexOf('\n');
    if (tooltip) return newline < 0 ? QString() : prompt.mid(newline + 1);
    return newline < 0 ? prompt : prompt.left(newline);
}

}  // namespace

std::vector<int> AllCommandIds() {
    std::set<int> ids = {ID_NEXT_PANE, ID_PREV_PANE};
    for (const auto* menu : {&DocumentMenu(), &NoDocumentMenu()}) {
        for (const MenuDefinition& definition : *menu) {
            for (const MenuEntry& entry : definition.entries) {
                if (entry.id != kSeparator) ids.insert(entry.id);
            }
        }
    }
    for (int id = ID_FILE_MRU_FILE1; id <= ID_FILE_MRU_FILE4; ++id) ids.insert(id);
    return {ids.begin(), ids.end()};
}

QString MenuTextOf(int id) {
    const char* text = TextIn(DocumentMenu(), id);
    if (!text) text = TextIn(NoDocumentMenu(), id);
    return QString::fromUtf8(text ? text : "");
}

QString KeyTextOf(const char* menuText) {
    const QString text = QString::fromUtf8(menuText);
    const qsizetype tab = text.indexOf('\t');
    return tab < 0 ? QString() : text.mid(tab + 1);
}

QList<QKeySequence> ShortcutsFor(int id) {
    QList<QKeySequence> keys;
    const QString shown = KeyTextOf(DocumentMenuText(id));
    if (shown == "Enter") {
        keys.append(QKeySequence(Qt::Key_Return));
    } else if (!shown.isEmpty()) {
        keys.append(QKeySequence::fromString(shown, QKeySequence::PortableText));
    }
    auto extra = ExtraAccelerators().find(id);
    if (extra != ExtraAccelerators().end()) {
        for (const QKeySequence& key : extra->second) keys.append(key);
    }
    return keys;
}

QString StatusPromptFor(int id) {
    return PromptPart(id, false);
}

QString TooltipFor(int id) {
    return PromptPart(id, true);
}

bool IsCheckable(int id) {
    static const std::set<int> checkable = {
        ID_DRAW_ONLY_ONE, ID_PICTURE_JPEG,    ID_PICTURE_BITMAP,      ID_COLOR_REFERENCE_LINE,
        ID_COLOR_PAGE,    ID_AUTO_SAVE,       ID_ARROW_CHANGE_CENTRE, ID_ARROW_CHANGE_OFFSET,
        ID_VIEW_TOOLBAR,  ID_VIEW_STATUS_BAR, ID_VIEW_FIT_TO_WINDOW,  ID_VIEW_BITMAP,
        ID_VIEW_DORVANTA};
    return checkable.contains(id) || id == ID_PICTURE_PNG || (id >= ID_ORDER_0 && id <= ID_ORDER_9);
}

const std::vector<int>& ToolbarButtons() {
    static const std::vector<int> buttons = {
        ID_FILE_NEW,  ID_FILE_OPEN,     ID_FILE_SAVE,  kSeparator,       ID_EDIT_CUT,
        ID_EDIT_COPY, ID_EDIT_PASTE,    kSeparator,    ID_FILE_PRINT,    ID_APP_ABOUT,
        kSeparator,   ID_DORVANTA_DATA, ID_COLOR_PAGE, ID_SAVE_NEXT_FILE};
    return buttons;
}
