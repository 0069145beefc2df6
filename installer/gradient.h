// The backdrop's vertical gradient: bright blue at the top row to black at the bottom.
#pragma once

// Blue level (0..255) of row y of a client area height rows tall: ((height - y) * 256) / height,
// limited to 255. A height of 0 or less has no rows and gives 0.
int GradientBlueLevel(int y, int height);
