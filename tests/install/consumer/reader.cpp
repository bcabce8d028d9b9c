#include "read_archive.h"

int main(int argc, char** argv) { return argc == 2 ? ReadArchive(argv[1]) : 2; }
