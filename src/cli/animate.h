// dorvanta-render --animate: keyframes in, an animation or one frame's figure out.
#pragma once

#include "cli/render_options.h"

// Checks the options, reads the keyframes and writes the animation (or, with --frame-dat, the
// figure of one frame); the process's exit status.
int RunAnimation(const RenderOptions& options);
