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
    do {
        unsigned digit = (unsigned)(value % base);
        *--end = (char)(digit < 10 ? '0' + digit : digit - 10 + (upper ? 'A' : 'a'));
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
        const char *conversion = ++format;
        int left = 0, isLong = 0;
        char pad = ' ';
        size_t width = 0, precision = (size_t)-1;
        for (; *format == '-' || *format == '0'; format++) {
            if (*format == '-')
                left = 1;
            else
                pad = '0';
        }
        /* Ten digits could wrap round in a size_t of 32 bits. */
        for (; *format >= '0' && *format <= '9'; format++) {
            if (width >= 100000000)
                goto refused;
            width = width * 10 + (size_t)(*format - '0');
        }
        if (*format == '.') {
            precision = 0;
            for (format++; *format >= '0' && *format <= '9'; format++) {
                if (precision >= 100000000)
                    goto refused;
                precision = precision * 10 + (size_t)(*format - '0');
            }
        }
        /* long is 32 bits on Windows, as int is: one l changes nothing for a
         * number. h, ll, I64, z and the rest would. */
        if (*format == 'l') {
            isLong = 1;
            format++;
        }

        char number[16];
        char *end = number + sizeof(number);
        const char *text;
        size_t length;
        char c = *format;
        switch (c) {
        case 'c':
        case 's':
            /* msvcrt pads %05s and %05c with zeros; %lc and %ls are wide. */
            if (pad == '0' || isLong || (c == 'c' && precision != (size_t)-1))
                goto refused;
            if (c == 'c') {
                number[0] = (char)va_arg(args, int);
                text = number;
                length = 1;
            } else {
                text = va_arg(args, const char *);
                if (!text)
                    text = "(null)";
                for (length = 0; length < precision && text[length]; length++) {
                }
            }
            PutPadded(&output, text, length, width, left, ' ');
            break;
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X': {
            /* A precision is a minimum count of digits, which is not done here. */
            if (precision != (size_t)-1)
                goto refused;
            unsigned long value = va_arg(args, unsigned long);
            int negative = (c == 'd' || c == 'i') && (long)value < 0;
            char *first = Digits(end, negative ? 0UL - value : value, (c | 0x20) == 'x' ? 16 : 10, c == 'X');
            if (negative)
                *--first = '-';
            PutPadded(&output, first, (size_t)(end - first), width, left, pad);
            break;
        }
        case '%':
            if (format != conversion)
                goto refused;
            Put(&output, '%');
            break;
        default:
            goto refused;
        }
    }
    if (output.length < count)
        buffer[output.length] = '\0';
    return output.length <= count ? (int)output.length : -1;

refused:
    /* strsafe's Ex functions then take all of `count` as written: the text
     * before the conversion is kept, and zeros follow it, not what the
     * caller's buffer held. */
    while (output.length < count)
        buffer[output.length++] = '\0';
    return -1;
}
