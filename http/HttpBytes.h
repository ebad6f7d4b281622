// Byte-level pieces of the HTTP/1.1 exchange: request composition, header
// end detection, body length and framing, status classification and body
// gathering. Portable: no platform headers, so it is also built natively and
// fuzzed.
#ifndef QUARVEL_HTTP_HTTPBYTES_H
#define QUARVEL_HTTP_HTTPBYTES_H

#include <cstddef>

namespace quarvel {

// Buffer sizes of the component record: the host header's QUARVEL_*_SIZE.
constexpr std::size_t kRequestHeaderSize = 1024;
constexpr std::size_t kResponseHeaderSize = 1024;
constexpr std::size_t kResponseBodySize = 6024;
// The header is read up to its empty line, at most this many bytes.
constexpr std::size_t kHeaderReadLimit = kResponseHeaderSize - 1;
// Size of one body receive in the current edition.
constexpr std::size_t kBodyChunkSize = 1024;

// Status class of a response, as kept in iRsType.
enum StatusClass { kStatusOther = 0, kStatusOk = 1, kStatusRedirect = 2 };

// "204 No Content": an answer without a body, what connectivity checks ask for.
constexpr int kNoContentStatus = 204;

// Composes the GET request for host and path into out (capacity bytes,
// zero-filled first). Returns the text length, or 0 when the request would
// not fit in capacity - 1 bytes: then out is left all zero and nothing may
// be sent. Null host or path is treated as refused (0), and so is a host or
// path holding CR or LF, which would end a line early and add header lines.
std::size_t BuildRequestText(char* out, std::size_t capacity,
                             const char* host, const char* path);

// True when the byte at index i of buf completes CR LF CR LF, i.e. buf[i] is
// LF, i > 3 and buf[i-3..i-1] are CR, LF, CR. i must be < the buffer length.
bool IsHeaderEnd(const char* buf, std::size_t i);

// Where the header of buf (len bytes) ends: one past the first index i at or
// after from with IsHeaderEnd(buf, i), or 0 when no such index is below len.
// The bytes before from were scanned already; the test looks back at them.
std::size_t FindHeaderEnd(const char* buf, std::size_t from, std::size_t len);

// What a header says of its body's length.
enum BodyLength { kLengthAbsent, kLengthMalformed, kLengthDeclared };

// Reads the Content-Length field of header (len bytes, from the status line
// through the empty line; not assumed to be NUL-terminated). The name is
// matched without regard to case at the start of a line; the value must be
// decimal digits only, with optional blanks or tabs around them, and fit
// *length without overflow. Several fields with one value count as one;
// differing values, an empty value or any other byte make it malformed, and
// so does any Transfer-Encoding field, which leaves no length to trust.
BodyLength ParseContentLength(const char* header, std::size_t len, std::size_t* length);

// True when header (len bytes) declares a chunked body: the final transfer
// coding of its last Transfer-Encoding field is "chunked". Name and coding
// are matched without regard to case, the coding trimmed of blanks and tabs.
bool DeclaresChunkedBody(const char* header, std::size_t len);

// Where the framing of a chunked body stands.
enum ChunkedResult { kChunkedNeedMore, kChunkedDone, kChunkedMalformed };

// The state of a chunked body's framing between receives; start from {}.
struct ChunkedScan {
  int step;          // the framing element the next byte belongs to
  std::size_t size;  // the chunk size being read, then its data bytes to come
};

// Feeds the next len raw body bytes. kChunkedDone once the bytes fed so far
// hold the whole framing: size lines (hexadecimal, optional extensions after
// a ";", blanks or tabs allowed before it), each chunk's data and CR LF, the
// last chunk "0", optional trailer lines and the final empty line; bytes after
// it are not looked at. kChunkedMalformed for a bare LF, a missing CR LF after
// data, an empty or non-hexadecimal size, or a size beyond a size_t. Both
// results stay for every later call. Reads bytes[0..len) only.
ChunkedResult ScanChunked(ChunkedScan* scan, const char* bytes, std::size_t len);

// Length of the status line: the bytes of header (len bytes) before its first
// CR LF. Returns false when there is no CR LF within len.
bool FindStatusLine(const char* header, std::size_t len, std::size_t* lineLen);

// Classifies a status line of len bytes: "200 OK" anywhere gives kStatusOk,
// else "302 Moved" or "302 Found" gives kStatusRedirect, else kStatusOther.
// Case-sensitive; the line is not assumed to be NUL-terminated.
StatusClass ClassifyStatusLine(const char* line, std::size_t len);

// The three-digit code of the header's status line, "HTTP/1.x NNN" up to its
// first CR LF (or the whole NUL-terminated text); 0 when it has no such shape.
int StatusCodeOf(const char* header);

// Gathers the body of a "200 OK" answer into a fixed buffer.
struct BodyGather {
  char* body;            // kResponseBodySize bytes, zero-filled by the caller
  std::size_t capacity;  // kResponseBodySize
  std::size_t total;     // bytes counted so far (NUL-cut chunks count whole)
};

// Feeds one receive result; chunk holds at least count bytes. count <= 0
// (closed, error, time-out) ends the body; a chunk that would bring the total
// to capacity or more is dropped whole and ends it too. Otherwise the chunk
// is appended as text (its bytes up to its first NUL, at most count) and true
// means "receive again".
bool AppendBodyChunk(BodyGather* gather, const char* chunk, long count);

// Ends the body: writes the NUL at index total when total > 0. Returns true
// when at least one body byte was received.
bool FinishBody(BodyGather* gather);

}  // namespace quarvel

#endif
