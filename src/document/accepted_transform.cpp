// The accepted view block, apart from the document: the navigation uses it without one.
#include "document/figure_history.h"

#include <cstring>

AcceptedTransform CaptureAcceptedTransform(const FigureParams& figure) {
    AcceptedTransform t;
    t.width = figure.m_nWidth;
    t.height = figure.m_nHeight;
    t.currentOrder = figure.m_nCurrentOrder;
    t.centreX = figure.m_dCentreX;
    t.centreY = figure.m_dCentreY;
    t.magnExp = figure.m_dMagnExp;
    t.transform = figure.m_transform;
    std::memcpy(t.version, figure.m_szVersion, sizeof t.version);
    std::memcpy(t.comment, figure.m_szComment, sizeof t.comment);
    return t;
}

void RestoreAcceptedTransform(FigureParams& figure, const AcceptedTransform& accepted) {
    figure.m_nWidth = accepted.width;
    figure.m_nHeight = accepted.height;
    figure.m_nCurrentOrder = accepted.currentOrder;
    figure.m_dCentreX = accepted.centreX;
    figure.m_dCentreY = accepted.centreY;
    figure.m_dMagnExp = accepted.magnExp;
    figure.m_transform = accepted.transform;
    std::memcpy(figure.m_szVersion, accepted.version, sizeof figure.m_szVersion);
    std::memcpy(figure.m_szComment, accepted.comment, sizeof figure.m_szComment);
}
