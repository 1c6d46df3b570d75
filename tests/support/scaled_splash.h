#pragma once
// The splash as this build composes it at a screen's scale (the headless backend, the same
// drawing code as the window backends), and the comparison of a screenshot with it where the
// artwork has regions of one colour: there any good resampling gives that colour, whatever
// filter the platform's graphics library uses.

#include <string>
#include <vector>

#include "platform/canvas.h"
#include "tests/support/wine_session.h"

namespace testing_support {

// The splash at the scale after start-up with the close button shown (the time-out prompt
// shows it); the status line and the progress fill hidden, the advisory lines and the main
// window's artwork as asked (without either, the close button alone).
platform::PixelBuffer ComposeScaledSplash(float scale, bool withNotices, bool withArtwork = true);

// How many points of an area of the artwork were compared, and how many matched.
struct ArtworkArea {
  std::string name;
  ScreenRectangle rect;  // in the window, device pixels
  int compared = 0;
  int same = 0;
};

// Compares every third point of the composition that lies in a flat, opaque region with the
// screen at the window's place (left, top), for the whole background, the logo, the banner and
// the close button. Left out: the rows of text (whose fonts may differ), what lies under
// `covered` (screen coordinates), and the points where the overlays (their composition alone)
// are partly transparent: Wine lays such pixels of a layered window over black, not over the
// window beneath.
std::vector<ArtworkArea> MatchArtwork(const platform::PixelBuffer& screen, int left, int top,
                                      const platform::PixelBuffer& expected,
                                      const platform::PixelBuffer& overlays, float scale,
                                      const ScreenRectangle& covered, int tolerance);
// Each area had points to compare, and 97 % of them or more matched.
bool AllMatched(const std::vector<ArtworkArea>& areas);

// The largest difference of the three colour channels.
int ChannelDistance(uint32_t a, uint32_t b);

// The X screen, read with ImageMagick's import; empty when it could not be read.
platform::PixelBuffer ScreenshotOfRoot(const std::string& folder);

}  // namespace testing_support
