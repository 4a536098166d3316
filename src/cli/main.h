// The entry point of qiro: the banner, the command-line checks, and the run
// dispatched to the plain driver or to the judged one (-evalue) once the
// inputs are loaded.
#ifndef QIRO_MAIN_H
#define QIRO_MAIN_H

void HelloMsg();
// One whole run as the command line (Options.h) asks. False when an output
// could not be written.
bool MotifDiscovery();
// The whole program: banner, command-line checks, run.
int QiroMain(int argc, char** argv);

#endif
