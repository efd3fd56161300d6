// The document's side of the POV-Ray export: the text is made from its figure's shape records.
#include <algorithm>
#include <cstring>

#include "document/dib_doc.h"
#include "document/pov_export.h"

bool CDibDoc::MakePovData(std::string& text, std::size_t capacity) {
    // The records belong to the last painting, whose centre the accepted copy holds; the working
    // centre may already have moved on (keys previewed, not yet painted).
    FigurePoint painted{m_acceptedTransform.centreX, m_acceptedTransform.centreY};
    return ::MakePovData(m_figure, painted, text, capacity, m_ui);
}

bool CDibDoc::MakePovData(char* buffer, int capacity) {
    if (capacity < 0) capacity = 0;
    std::string text;
    bool made = MakePovData(text, static_cast<std::size_t>(capacity));
    std::size_t length = std::min(text.size(), static_cast<std::size_t>(capacity));
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return made;
}
