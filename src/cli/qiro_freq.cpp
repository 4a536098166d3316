#include "input/FreqTool.h"

int main(int argc, char** argv) { return FreqToolMain(argc, argv); }
