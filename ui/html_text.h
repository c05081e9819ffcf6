// The texts the HTML viewer shows: recognising HTML, turning plain text into
// HTML, building the document handed to the browser, and turning HTML back
// into plain text for the edit control when there is no browser.
#pragma once

#include <stddef.h>

// Bytes a document or a fallback buffer needs for a text of this length:
// every character may become "&nbsp;" (6 bytes), plus the fixed header,
// style and end tags.
size_t HtmlBufferSize(size_t textLength);

// True when the text holds a closing tag: a "</" followed, 2 to 19 bytes
// after the '<', by a '>'.
bool LooksLikeHtml(const char* text);

// Rewrites the plain text in buffer as HTML, in place: the style text in
// front, a blank line as a line break, runs of blanks kept with "&nbsp;".
// capacity is the size of buffer; a result that would not fit is cut at the
// capacity (never written past it). False when no memory was available, and
// the buffer is then unchanged.
bool PlainToHtml(char* buffer, size_t capacity);

// A new heap text (the caller releases it) with the tags and entities of an
// HTML text removed, paragraph ends and line breaks as CR LF; null without
// memory.
char* HtmlToPlain(const char* text);

// Builds the document for the browser from text into buffer (capacity bytes,
// at least HtmlBufferSize of the text) and returns its length in bytes.
// With useUtf8 the document is UTF-8 with a byte-order mark and a header
// naming the character set; when the conversion is impossible it stays in
// the ANSI code page and its header names no valid character set, so that
// the browser falls back to its own default.
size_t BuildHtmlDocument(const char* text, char* buffer, size_t capacity, bool useUtf8);
