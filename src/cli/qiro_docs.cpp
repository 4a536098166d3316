// qiro-docs: the option reference made from the option table (make docs),
// and checked against it by the tests.
#include "cli/OptionReference.h"

int main(int argc, char** argv) { return DocsMain(argc, argv); }
