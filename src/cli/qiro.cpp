#include "cli/main.h"

int main(int argc, char** argv) { return QiroMain(argc, argv); }
