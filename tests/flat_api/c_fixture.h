/* An archive for the C program, written by our writer into a fresh
 * temporary folder. C linkage: the program that uses it is plain C. */
#ifndef ORVOBF_TESTS_C_FIXTURE_H
#define ORVOBF_TESTS_C_FIXTURE_H

#ifdef __cplusplus
extern "C" {
#endif

/* The archive holds, under names in mixed case:
 *   top.txt            "one\r\ntwo\r\n"
 *   Data/Big.bin       FIXTURE_BIG_SIZE bytes, FixtureByte(1, k)
 *   Data/Empty.bin     no bytes
 *   Data/Sub/Deep.bin  FIXTURE_DEEP_SIZE bytes, FixtureByte(2, k)
 * Returns the archive's path, or null when it could not be written. */
const char* FixtureWrite(void);
/* Removes the folder and everything in it. */
void FixtureRemove(void);

#define FIXTURE_TOP_TEXT "one\r\ntwo\r\n"
#define FIXTURE_BIG_SIZE 200003ul
#define FIXTURE_DEEP_SIZE 1000ul

/* Contents that differ at every position and between files, so a read at
 * the wrong place or of the wrong entry shows. */
static inline unsigned char FixtureByte(unsigned seed, unsigned long k) {
    return (unsigned char)((k * 31u + (k >> 8) + seed * 101u) & 0xFFu);
}

#ifdef __cplusplus
}
#endif

#endif
