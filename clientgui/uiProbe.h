// Measures how promptly the UI thread answers while the window is open: a 10 ms timer
// records how late each of its ticks comes. Switched on by the environment variable
// CORVANE_UI_PROBE, which names the file that receives one lateness in milliseconds per
// line when the window closes. For the responsiveness benchmark.
#pragma once

// UI thread.
void startUiProbe();
void stopUiProbe();
