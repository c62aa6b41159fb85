#include "runtime/runtime.h"

struct Output {
    char *buffer;
    size_t count;
    size_t length;
};

static void Put(Output *output, char c)
{
    if (output->length < output->count)
        output->buffer[output->length] = c;
    output->length++;
}

static void PutPadded(Output *output, const char *text, size_t length, size_t width, int left,
                      char pad)
{
    /* A zero-padded negative number keeps its sign in front of the zeros. */
    if (pad == '0' && length > 0 && text[0] == '-') {
        Put(output, '-');
        text++;
        length--;
        if (width > 0)
            width--;
    }
    for (; !left && width > length; width--)
        Put(output, pad);
    for (size_t i = 0; i < length; i++)
        Put(output, text[i]);
    for (; left && width > length; width--)
        Put(output, ' ');
}

/* The digits of `value` in `base`, written backwards from `end`; returns the first. */
static char *Digits(char *end, unsigned long value, unsigned base, int upper)
{
    const char *digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";

    do {
        *--end = digits[value % base];
        value /= base;
    } while (value);
    return end;
}

int FormatText(char *buffer, size_t count, const char *format, va_list args)
{
    Output output = { buffer, count, 0 };

    for (; *format; format++) {
        if (*format != '%') {
            Put(&output, *format);
            continue;
        }
        int left = 0;
        char pad = ' ';
        size_t width = 0, precision = (size_t)-1;
        for (format++; *format == '-' || *format == '0'; format++) {
            if (*format == '-')
                left = 1;
            else
                pad = '0';
        }
        for (; *format >= '0' && *format <= '9'; format++)
            width = width * 10 + (size_t)(*format - '0');
        if (*format == '.') {
            precision = 0;
            for (format++; *format >= '0' && *format <= '9'; format++)
                precision = precision * 10 + (size_t)(*format - '0');
        }
        while (*format == 'l' || *format == 'h')
            format++;
        if (left)
            pad = ' ';

        char number[16];
        char *end = number + sizeof(number);
        const char *text;
        size_t length;
        switch (*format) {
        case 's':
            text = va_arg(args, const char *);
            if (!text)
                text = "(null)";
            for (length = 0; length < precision && text[length]; length++) {
            }
            PutPadded(&output, text, length, width, left, ' ');
            break;
        case 'c':
            number[0] = (char)va_arg(args, int);
            PutPadded(&output, number, 1, width, left, ' ');
            break;
        case 'd':
        case 'i': {
            long value = va_arg(args, long);
            char *first = Digits(end, value < 0 ? 0UL - (unsigned long)value : (unsigned long)value, 10, 0);
            if (value < 0)
                *--first = '-';
            PutPadded(&output, first, (size_t)(end - first), width, left, pad);
            break;
        }
        case 'u':
        case 'x':
        case 'X':
            text = Digits(end, va_arg(args, unsigned long), *format == 'u' ? 10 : 16, *format == 'X');
            PutPadded(&output, text, (size_t)(end - text), width, left, pad);
            break;
        case '\0':
            /* A lone % at the end: nothing more to read. */
            format--;
            break;
        default:
            Put(&output, *format);
            break;
        }
    }
    if (output.length < count)
        buffer[output.length] = '\0';
    return output.length <= count ? (int)output.length : -1;
}
