// The dialogs the view's commands open. They live in the application layer, above the view, so
// the application hands them in once at start-up; a command whose dialog is missing is shown
// disabled.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "document/random_choice.h"
#include "figure/figure_params.h"

class QWidget;
class UserPrompts;

// What the SVG export dialog asks: the file, plotter mode, an optional physical width and an
// optional stroke width on paper.
struct SvgExportChoice {
    std::string path;
    bool plotter = false;
    std::string width;   // such as 400mm; empty for pixels
    std::string stroke;  // such as 0.01mm or hairline; empty for one pixel
};

struct ViewDialogs {
    // Order number 0..9 starting from current; empty on Cancel.
    std::function<std::optional<int>(QWidget* parent, int current, UserPrompts& ui)> askOrderNumber;
    // Draw switches and transparencies of figure, applied() after every OK, until Cancel.
    std::function<void(QWidget* parent, FigureParams& figure, const std::function<void()>& applied,
                       UserPrompts& ui)>
        runDrawOrders;
    // Edits choice in place; true on OK.
    std::function<bool(QWidget* parent, RandomChoice& choice)> editRandomChoice;
    std::function<void(QWidget* parent)> helpOnColors;
    std::function<void(QWidget* parent, UserPrompts& ui)> helpOnPovRay;
    // File > Export SVG...: starting from the suggested path; empty on Cancel.
    std::function<std::optional<SvgExportChoice>(QWidget* parent, const std::string& suggestedPath,
                                                 UserPrompts& ui)>
        askSvgExport;
};

// The process-wide set, filled by the application before the first view exists.
ViewDialogs& GetViewDialogs();
