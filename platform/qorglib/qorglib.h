#pragma once
/* The tool's support library: texts by number, messages and questions, path
 * aliases, file existence, value-to-text conversions, serial numbers and the
 * password character check. A C ABI: texts go in and out as NUL-terminated
 * 8-bit strings (UTF-8 on this system); a returned text is owned by the
 * library and stays valid until the next call of the same export from the
 * same thread. */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* 3: the text of `number` in the texts file `textsFile` (an alias path such as
 * "Prod:\\Texts\\Zelmar TCP IP Settings Tool"); the empty text when missing. */
const char* ReadTextEntry(const char* textsFile, int32_t number, int32_t reserved, int32_t* out);

/* 4: modal message; kind 0 = error or warning, 2 = information. */
int32_t ShowMessage(const char* text, int32_t kind);

/* 5: modal question. style 257 = OK and Cancel (Cancel default), 4 = Yes and No.
 * Returns the button: 1 = OK, 2 = Cancel, 6 = Yes, 7 = No. */
int32_t AskQuestion(const char* text, int32_t owner, const char* title, int32_t style);

/* 8: start-up call of an application; out values are zeroed. */
int32_t InitApplication(const char* title, int32_t flags1, int32_t* out1, int32_t flags2, int32_t* out2);

/* 306: nonzero in the low 16 bits when the file exists. */
int32_t CheckFileExists(const char* path);

/* 2042: display text of a 16-bit value, sign-extended (0 = "No", -1 = "Yes"). */
const char* CodeToName(int32_t value);

/* 2081: the folder an alias ("Prod:", "SLIB:") stands for, ending in a path separator. */
const char* AliasToPath(const char* alias, int32_t reserved, int32_t* out);

/* 2179: model name of a model code given as decimal text. */
const char* ModelCodeToName(const char* decimalCode);

/* 2184: converts a serial-number text; returns 1 and writes the value on
 * success, 0 on failure. Distinct valid serial numbers give distinct values. */
int32_t ParseSerialNoText(const char* text, float* value);

/* 2198: copies at most n bytes of src into dest; returns the count copied. */
int32_t CopyText(char* dest, const char* src, int32_t n);

/* 2244: -1 when every character of the NUL-terminated UTF-16 text is allowed in a
 * password; otherwise the 0-based position of the first character that is not. */
int32_t ScanPasswordChars(const char16_t* text);

#ifdef __cplusplus
}
#endif
