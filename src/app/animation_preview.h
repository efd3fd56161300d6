// The preview of an animation: a window of its own that plays it at a small size, frame after
// frame painted as the export paints it, looping, with Play/Pause, a position slider and the
// frame's number.
#pragma once

#include <QTimer>
#include <QWidget>
#include <cstdint>

#include "document/animation.h"
#include "picture/dib_image.h"

class QLabel;
class QPushButton;
class QSlider;
class UserPrompts;

class CAnimationPreview : public QWidget {
    Q_OBJECT

  public:
    // The longest the preview's sides are on screen; smaller animations play at their own size.
    static constexpr int kMaxWidth = 480;
    static constexpr int kMaxHeight = 360;

    // Starts playing plan at the preview's size (the same view, scaled); deletes itself on close.
    CAnimationPreview(const AnimationPlan& plan, UserPrompts& ui, QWidget* parent);

    QPushButton* PlayButton() const { return m_play; }
    QSlider* PositionSlider() const { return m_slider; }
    QLabel* FrameLabel() const { return m_label; }
    bool IsPlaying() const { return m_timer.isActive(); }
    std::int64_t Frame() const { return m_frame; }
    // The plan at the preview's size in device pixels, and the picture of the frame it shows.
    const AnimationPlan& PreviewPlan() const { return m_plan; }
    const DibHandle& Picture() const { return m_picture; }

    void ShowFrame(std::int64_t frame);
    void Play(bool play);

  private:
    class Canvas;

    void Advance();

    AnimationPlan m_plan;
    UserPrompts& m_ui;
    std::int64_t m_frames = 1;
    std::int64_t m_frame = -1;
    DibHandle m_picture;
    Canvas* m_canvas = nullptr;
    QPushButton* m_play = nullptr;
    QSlider* m_slider = nullptr;
    QLabel* m_label = nullptr;
    QTimer m_timer;
};
