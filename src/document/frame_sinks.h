// Where the frames of an animation go, one after the other in order: an animated PNG, a folder of
// numbered PNG files, a video. Each sink writes through temporary files: only Finish() puts the
// result in place, and a sink destroyed before that leaves no file and older files intact.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "document/animation.h"
#include "document/video_file.h"

class FrameSink {
  public:
    virtual ~FrameSink() = default;
    // The next frame: rows of blue, green, red from topRow, stride bytes to the next row down
    // (negative for a picture block), and the figure it shows. False with Cause() set.
    virtual bool AddFrame(const FigureParams& figure, const std::uint8_t* topRow,
                          std::ptrdiff_t stride) = 0;
    // Completes the output and puts it in place; false with Cause() set.
    virtual bool Finish() = 0;
    const std::string& Cause() const { return m_cause; }

  protected:
    bool Fail(std::string cause) {
        if (m_cause.empty()) m_cause = std::move(cause);
        return false;
    }

  private:
    std::string m_cause;
};

// The sink for path's kind (AnimationKindOfPath), ready for the plan's frames; null with cause
// set when it cannot be opened. threads: what the compression may use of the painting threads.
std::unique_ptr<FrameSink> OpenFrameSink(const AnimationPlan& plan, const std::string& path,
                                         int threads, std::string& cause);

// The video settings of the plan for a video of this kind.
VideoSettings VideoSettingsOf(const AnimationPlan& plan, VideoKind kind);
