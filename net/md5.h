// MD5 message digest (RFC 1321), for the APOP login. Bytes and words are
// converted in little-endian order whatever the processor.
#ifndef TARNU_NET_MD5_H_
#define TARNU_NET_MD5_H_

#include <cstddef>
#include <cstdint>

namespace tarnu {

struct Md5Context {
  std::uint32_t state[4];
  std::uint32_t count[2];    // message bits taken so far, low word first
  unsigned char buffer[64];  // input not yet processed
};

void Md5Init(Md5Context* context);
void Md5Update(Md5Context* context, const unsigned char* input, std::size_t length);
// Pads, writes the 16-byte digest and overwrites the whole context with zeros.
void Md5Final(unsigned char digest[16], Md5Context* context);

}  // namespace tarnu

#endif  // TARNU_NET_MD5_H_
