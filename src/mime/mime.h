#pragma once
// Korvane's MIME library: decoding of received mail (header fields, encoded
// words, parameters, transfer encodings, charsets), the walk over a received
// message that yields its readable text and saves its attachments, and the
// building of outgoing mail. Built over GMime 3 and iconv.
#include "mime/mime_build.h"
#include "mime/mime_charset.h"
#include "mime/mime_decode.h"
#include "mime/mime_message.h"
