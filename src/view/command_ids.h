// Command identifiers of every menu entry, accelerator and toolbar button. They keep the
// classic numbers: menus, routing and the status prompts are keyed by them.
#pragma once

#include "document/dib_doc.h"  // the document's own: ID_FILE_OPEN, ID_FILE_SAVE, ...
#include "view/colour_page.h"  // the colour page's own: ID_COLOR_PAGE, ...

// Framework commands.
constexpr int ID_FILE_NEW = 57600;
constexpr int ID_FILE_CLOSE = 57602;
constexpr int ID_FILE_PRINT_SETUP = 57606;
constexpr int ID_FILE_PRINT = 57607;
constexpr int ID_FILE_PRINT_PREVIEW = 57609;
constexpr int ID_FILE_MRU_FILE1 = 57616;
constexpr int ID_FILE_MRU_FILE4 = 57619;
constexpr int ID_EDIT_COPY = 57634;
constexpr int ID_EDIT_CUT = 57635;
constexpr int ID_EDIT_PASTE = 57637;
constexpr int ID_EDIT_UNDO = 57643;
constexpr int ID_EDIT_REDO = 57644;
constexpr int ID_WINDOW_NEW = 57648;
constexpr int ID_WINDOW_ARRANGE = 57649;
constexpr int ID_WINDOW_CASCADE = 57650;
constexpr int ID_WINDOW_TILE_HORZ = 57651;
constexpr int ID_APP_ABOUT = 57664;
constexpr int ID_APP_EXIT = 57665;
constexpr int ID_NEXT_PANE = 57680;
constexpr int ID_PREV_PANE = 57681;
constexpr int ID_VIEW_TOOLBAR = 59392;
constexpr int ID_VIEW_STATUS_BAR = 59393;

// The program's own commands.
constexpr int ID_DORVANTA_DATA = 172;
constexpr int ID_VIEW_FIT_TO_WINDOW = 32770;
constexpr int ID_ARROW_CHANGE_CENTRE = 32795;
constexpr int ID_ARROW_CHANGE_OFFSET = 32796;
constexpr int ID_VIEW_BITMAP = 32797;
constexpr int ID_VIEW_DORVANTA = 32798;
constexpr int ID_DRAW_ORDERS = 32802;
constexpr int ID_ORDER_0 = 32803;
constexpr int ID_ORDER_9 = 32812;
constexpr int ID_DRAW_ONLY_ONE = 32813;
constexpr int ID_SELECT_ORDER_NR = 32814;
constexpr int ID_SAVE_NEXT_FILE = 32820;
constexpr int ID_RANDOM_COLORS = 32821;
constexpr int ID_AUTO_SAVE = 32822;
constexpr int ID_RANDOM_CHOICE_SETTINGS = 32823;
constexpr int ID_MAKE_POV_DATA = 32824;
constexpr int ID_HELP_POVRAY = 32825;
// File > Export Picture...: the figure at any size into a picture file, painted in the background.
constexpr int ID_FILE_EXPORT_PICTURE = 32900;
// File > Export Animation...: the open figures in motion, as a video, an animated PNG or frames.
constexpr int ID_FILE_EXPORT_ANIMATION = 32901;

// SVG export.
constexpr int ID_FILE_EXPORT_SVG = 32860;

// Status-bar panes that show the view's texts.
constexpr int ID_STATUS_MODE = 102;      // g_szModeText
constexpr int ID_STATUS_OFFSET = 103;    // g_szOffsetText
constexpr int ID_STATUS_POSITION = 104;  // g_szPositionText
