// Entry point where there is no WinMain of the system's own.
#include "extractor_app.h"

int main() { return WinMain(nullptr, nullptr, nullptr, 0); }
