// The command table of the program: both menu bars, the accelerator keys, the status prompts
// and the toolbar. Everything the frame builds its actions and menus from.
#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>
#include <vector>

constexpr int kSeparator = 0;

struct MenuEntry {
    int id = kSeparator;  // kSeparator marks a separator
    const char* text = "";
};

struct MenuDefinition {
    const char* title;
    std::vector<MenuEntry> entries;
};

// The menu of a document window (id 3) and the one shown while no document is open (id 2).
const std::vector<MenuDefinition>& DocumentMenu();
const std::vector<MenuDefinition>& NoDocumentMenu();

// The menu text of a command: its entry in the document menu, else in the menu without
// documents; empty for commands without a menu entry.
QString MenuTextOf(int id);

// Every command identifier that appears in either menu, the accelerator table or the toolbar.
std::vector<int> AllCommandIds();

// The keys that invoke a command: the one shown after "\t" in its menu text followed by the
// other accelerator-table entries.
QList<QKeySequence> ShortcutsFor(int id);

// The key text after "\t" in a menu text, or an empty text.
QString KeyTextOf(const char* menuText);

// Status-bar prompt and tooltip; the tooltip is empty when the prompt has no "\n" part.
QString StatusPromptFor(int id);
QString TooltipFor(int id);

// Whether the command's menu entry carries a check mark state.
bool IsCheckable(int id);

// Toolbar buttons left to right; kSeparator marks a gap.
const std::vector<int>& ToolbarButtons();
