// The bytes of one fuzz input, taken from the front as a target needs them.
// Past the end every value reads as zero, so that any input is a whole one
// and a mutation never makes an input unusable.
#ifndef TESTS_FUZZ_FUZZ_INPUT_H
#define TESTS_FUZZ_FUZZ_INPUT_H

#include <stddef.h>
#include <stdint.h>

struct FuzzInput {
  const uint8_t* at;
  size_t left;
};

inline FuzzInput fuzz_input(const uint8_t* data, size_t size) { return FuzzInput{data, size}; }

inline uint8_t take_byte(FuzzInput* in) {
  if (in->left == 0) return 0;
  in->left--;
  return *in->at++;
}

// Little-endian, like every record the targets describe. Each byte is taken
// in a statement of its own: the order of the operands of one expression is
// the compiler's choice, and the replays are built by another compiler.
inline uint16_t take_u16(FuzzInput* in) {
  uint16_t low = take_byte(in);
  return static_cast<uint16_t>(low | take_byte(in) << 8);
}

inline uint32_t take_u32(FuzzInput* in) {
  uint32_t value = 0;
  for (int i = 0; i < 4; i++) value |= static_cast<uint32_t>(take_byte(in)) << (8 * i);
  return value;
}

inline uint64_t take_u64(FuzzInput* in) {
  uint64_t low = take_u32(in);
  return low | static_cast<uint64_t>(take_u32(in)) << 32;
}

// Up to `most` bytes, in place: sets *bytes and returns how many there are.
inline size_t take_bytes(FuzzInput* in, size_t most, const uint8_t** bytes) {
  size_t n = in->left < most ? in->left : most;
  *bytes = in->at;
  in->at += n;
  in->left -= n;
  return n;
}

// Everything that is left.
inline size_t take_rest(FuzzInput* in, const uint8_t** bytes) {
  return take_bytes(in, in->left, bytes);
}

#endif
