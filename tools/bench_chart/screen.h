// The window toolkit the benchmark paints with: Qt on Linux, Win32 on Windows.
#pragma once
#include <string>

namespace kv::bench {

void InstallScreenToolkit(int& argc, char** argv);
// Paints the canvas now, as the platform does when the window needs it.
void PaintNow(int window, int control);
// The canvas as an image file (PNG); false where not supported.
bool SaveCanvas(int window, int control, const std::string& path);
// The CPU time the calling thread has taken, in ms (under Windows: the whole process's).
double ThreadCpuMs();

}  // namespace kv::bench
