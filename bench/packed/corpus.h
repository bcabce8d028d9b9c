// The benchmark corpus: files Debian puts on every machine, concatenated in
// sorted path order until 64 MiB (texts from /usr/share/common-licenses and
// /usr/share/doc without its compressed files, up to 32 MiB; then programs
// from /usr/bin), so two machines with the
// same packages measure the same bytes; its FNV-1a hash is printed.
#ifndef ORVOBF_BENCH_CORPUS_H
#define ORVOBF_BENCH_CORPUS_H

#include <cstdint>
#include <vector>

const std::vector<unsigned char>& Corpus();
uint64_t CorpusHash();

#endif
