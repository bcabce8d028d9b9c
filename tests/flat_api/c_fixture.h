/* An archive for the C program, written by our writer into a fresh
 * temporary folder. C linkage: the program that uses it is plain C. */
#ifndef ORVOBF_TESTS_C_FIXTURE_H
#define ORVOBF_TESTS_C_FIXTURE_H

#ifdef __cplusplus
extern "C" {
#endif

/* Writes top.txt, Data/Big.bin, Data/Empty.bin and Data/Sub/Deep.bin,
 * whose contents differ at every position and between files, so that a
 * read at the wrong place or of the wrong entry shows. Returns the
 * archive's path, or null when it could not be written. */
const char* FixtureWrite(void);
/* The contents of the entry called `name` (its last part) and their size;
 * null for a name the archive does not hold. */
const char* FixtureContents(const char* name, unsigned long* size);
/* Removes the folder and everything in it. */
void FixtureRemove(void);

#ifdef __cplusplus
}
#endif

#endif
