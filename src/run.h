// One run of the program: the dropped file in, its processed copy out.
#ifndef TEXTMORPH_RUN_H_
#define TEXTMORPH_RUN_H_

// Takes argv[1] as the dropped file. Returns the exit status: 0 when the
// file was processed and for the two notices (no file dropped, settings
// recreated), 1 after any failure, each of which has been shown to the user
// with nothing written.
int runTextmorph(int argc, char** argv);

#endif  // TEXTMORPH_RUN_H_
