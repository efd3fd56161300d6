#include "app/help_texts.h"

#include "picture/user_prompts.h"

namespace {

constexpr const char* kCrLf = "\r\n";

}  // namespace

std::string BuildAboutHelpText() {
    std::string text;
    auto line = [&text](const char* piece) { text.append(piece).append(kCrLf); };
    line("Important Functions:");
    line("The function of the arrow keys can be changed with <TAB>.");
    text.append("When there are focus rectangles the arrow keys change the centre of the figure,");
    line("and the <Page Up>, <Page Down> keys change the magnification.");
    line("Pressing <Ctrl> makes the action ten times CrLfonger.");
    line(
        "When there are no focus rectangles, (this can be changed with <TAB>) the arrow keys "
        "change the offset of the lines.");
    line("<Right Arrow> and <Left Arrow> to change the Un offset.");
    line("<Up Arrow> and <Down Arrow> to change the Gs offset.");
    line("<Page Up> to change the Un value to get the correct Golden Section ratio.");
    line("<Page Down> to change the Gs value to get the correct Golden Section ratio.");
    line("Right click on a vertical line to make that line the new reference.");
    line("Double clicking will redraw the figure with the new parameters.");
    line(
        "<Enter> gives you the menu for changing the parameters for the figure, and for saving "
        "and loading the parameter file. Pressing <OK> will redraw the figure with the new "
        "parameters.");
    text.append(kCrLf);
    text.append(
        "Color page: here you can choose whether to draw an item or order, and "
        "transparency and color.");
    text.append("This page has a separate Help Page.");
    line(
        "There is a 'Random Choice of Color' function that choses arbitrairy colors. Auto save "
        "is possible when using this. Make sure you saved the first one yourself so you know "
        "where the next will go. This function will automatically increase the file number.");
    line(
        "There a button on the Toolbar that saves the Bitmap file and the Data file, and "
        "automatically increases the file number. Again, make sure you saved the first one "
        "yourself so you know where the next will go. This function will automatically "
        "increase the file number.");
    line(kJpegCreditText);
    return text;
}

std::string PovRayHelpText() {
    std::string text;
    for (const char* line :
         {"The Pov-Ray utility will generate a text and put it in the copy/paste buffer.",
          "When using it for the first time you should include the header and macro "
          "definitions.",
          "The textures are defined via constants that you can redefine to choose your own "
          "textures.",
          "All is set up in a way that allows you to remove what you don't need and change "
          "things as you like it.",
          "Enjoy."})
        text.append(line).append(kCrLf);
    return text;
}

void ShowPovRayHelp(UserPrompts& ui) {
    ui.ShowMessage(PovRayHelpText(), MsgButtons::Ok, MsgIcon::Information);
}

const std::array<const char*, 8> kColorHelpTexts = {
    "This picture shows a part of the Color Page\nClicking  on an area will change whether the "
    "item / order is drawn. Using the mouse wheel will change transparency and color. Use 'Esc' "
    "to leave without change and 'Enter' to accept.",
    "Greyed text means the item will not be drawn. Clicking on the text will toggle the status.",
    "Greyed text means the item will not be drawn. Clicking on the text will disable all items "
    "on this row.",
    "Keep the mouse pointer above the central bar, and use the mouse wheel to change the "
    "intensity of Red, Green and Blue. If the mouse pointer is under the Red section it will "
    "change the Red component of the color, etc..",
    "Keep the mouse pointer above the lower bar, and use the mouse wheel to change the "
    "transparency of the colors of this order. When fully transparent clear white, grey and "
    "black blocks will be shown in the lower bar, otherwise a mix with the color.",
    "Click on the lower bar of the box to toggle enable / disable the item.",
    "Drag and drop of a color from one central bar to another works.",
    "Double click on the central bar to get the color dialog."};
