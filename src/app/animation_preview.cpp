#include "app/animation_preview.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "view/dib_paint.h"

// The picture of the frame, unstretched.
class CAnimationPreview::Canvas : public QWidget {
  public:
    Canvas(const CAnimationPreview& preview, QSize size) : m_preview(preview) {
        setFixedSize(size);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const DibHandle& picture = m_preview.m_picture;
        if (!picture) return;
        const QRect all(0, 0, m_preview.m_plan.width, m_preview.m_plan.height);
        DibPaint(painter, rect(), picture, 0, all.height(), all, nullptr);
    }

  private:
    const CAnimationPreview& m_preview;
};

namespace {

// The size on screen that fits the preview, keeping the animation's proportions.
QSize FittedSize(const AnimationPlan& plan) {
    const double scale = std::min({1.0, double{CAnimationPreview::kMaxWidth} / plan.width,
                                   double{CAnimationPreview::kMaxHeight} / plan.height});
    return {std::max(1, static_cast<int>(std::lround(plan.width * scale))),
            std::max(1, static_cast<int>(std::lround(plan.height * scale)))};
}

// The plan at that size in the screen's own pixels, so that a scaled screen shows the frames
// sharp; the figure scales with the width, so every frame shows the same view.
AnimationPlan PlanAtSize(AnimationPlan plan, QSize size, double pixelRatio) {
    plan.width = std::max(1, static_cast<int>(std::lround(size.width() * pixelRatio)));
    plan.height = std::max(1, static_cast<int>(std::lround(size.height() * pixelRatio)));
    return plan;
}

}  // namespace

CAnimationPreview::CAnimationPreview(const AnimationPlan& plan, UserPrompts& ui, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_plan(PlanAtSize(plan, FittedSize(plan), devicePixelRatioF())),
      m_ui(ui),
      m_frames(FrameCount(m_plan)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Animation Preview"));
    m_canvas = new Canvas(*this, FittedSize(plan));
    m_play = new QPushButton(this);
    m_slider = new QSlider(Qt::Horizontal, this);
    m_slider->setRange(0, static_cast<int>(std::max<std::int64_t>(m_frames - 1, 0)));
    m_label = new QLabel(this);
    m_label->setMinimumWidth(
        m_label->fontMetrics().horizontalAdvance(tr("Frame %1 of %2").arg(m_frames).arg(m_frames)));
    connect(m_play, &QPushButton::clicked, this, [this] { Play(!IsPlaying()); });
    connect(m_slider, &QSlider::valueChanged, this, [this](int frame) {
        Play(false);
        ShowFrame(frame);
    });
    connect(&m_timer, &QTimer::timeout, this, &CAnimationPreview::Advance);
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(std::max(1, static_cast<int>(std::lround(1000.0 / m_plan.fps))));
    auto* controls = new QHBoxLayout;
    controls->addWidget(m_play);
    controls->addWidget(m_slider, 1);
    controls->addWidget(m_label);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_canvas, 0, Qt::AlignCenter);
    layout->addLayout(controls);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ShowFrame(0);
    Play(true);
}

void CAnimationPreview::ShowFrame(std::int64_t frame) {
    frame = std::clamp<std::int64_t>(frame, 0, m_frames - 1);
    if (frame == m_frame && m_picture) return;
    m_frame = frame;
    if (!PaintAnimationFrame(m_plan, frame, m_picture, m_ui)) {
        Play(false);  // no memory for it: said once, not at every tick
        return;
    }
    const QSignalBlocker quiet(m_slider);
    m_slider->setValue(static_cast<int>(frame));
    m_label->setText(tr("Frame %1 of %2").arg(frame + 1).arg(m_frames));
    m_canvas->update();
}

void CAnimationPreview::Play(bool play) {
    if (play) {
        m_timer.start();
    } else {
        m_timer.stop();
    }
    m_play->setText(play ? tr("&Pause") : tr("&Play"));
}

// A frame that takes longer to paint than its time only slows the preview down.
void CAnimationPreview::Advance() {
    ShowFrame(m_frame + 1 < m_frames ? m_frame + 1 : 0);
}
