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

/* One conversion's flags, width, precision and length, as written after '%'. */
struct Field {
    int left;
    int isLong;
    char pad;
    size_t width;
    size_t precision; /* (size_t)-1: none given */
};

/* Ten digits could wrap round in a size_t of 32 bits: 0 for a longer number. */
static int ReadCount(const char **format, size_t *count)
{
    for (; **format >= '0' && **format <= '9'; (*format)++) {
        if (*count >= 100000000)
            return 0;
        *count = *count * 10 + (size_t)(**format - '0');
    }
    return 1;
}

/* The part between '%' and the conversion's letter, which it leaves *format at. */
static int ReadField(const char **format, Field *field)
{
    field->left = field->isLong = 0;
    field->pad = ' ';
    field->width = 0;
    field->precision = (size_t)-1;
    for (; **format == '-' || **format == '0'; (*format)++) {
        if (**format == '-')
            field->left = 1;
        else
            field->pad = '0';
    }
    if (!ReadCount(format, &field->width))
        return 0;
    if (**format == '.') {
        field->precision = 0;
        (*format)++;
        if (!ReadCount(format, &field->precision))
            return 0;
    }
    /* long is 32 bits on Windows, as int is: one l changes nothing for a
     * number. h, ll, I64, z and the rest would. */
    if (**format == 'l') {
        field->isLong = 1;
        (*format)++;
    }
    return 1;
}

static int PutText(Output *output, const Field *field, char c, va_list *args)
{
    char one;
    const char *text = &one;
    size_t length = 1;

    /* msvcrt pads %05s and %05c with zeros; %lc and %ls are wide. */
    if (field->pad == '0' || field->isLong || (c == 'c' && field->precision != (size_t)-1))
        return 0;
    if (c == 'c')
        one = (char)va_arg(*args, int);
    else {
        text = va_arg(*args, const char *);
        if (!text)
            text = "(null)";
        for (length = 0; length < field->precision && text[length]; length++) {
        }
    }
    PutPadded(output, text, length, field->width, field->left, ' ');
    return 1;
}

static int PutNumber(Output *output, const Field *field, char c, va_list *args)
{
    char number[16];
    char *end = number + sizeof(number);

    /* A precision is a minimum count of digits, which is not done here. */
    if (field->precision != (size_t)-1)
        return 0;
    unsigned long value = va_arg(*args, unsigned long);
    int negative = (c == 'd' || c == 'i') && (long)value < 0;
    char *first = Digits(end, negative ? 0UL - value : value, (c | 0x20) == 'x' ? 16 : 10, c == 'X');
    if (negative)
        *--first = '-';
    PutPadded(output, first, (size_t)(end - first), field->width, field->left, field->pad);
    return 1;
}

/* One conversion from *format (just past its '%'); 0 when it is refused. */
static int PutConversion(Output *output, const char **format, va_list *args)
{
    const char *conversion = *format;
    Field field;

    if (!ReadField(format, &field))
        return 0;
    switch (**format) {
    case 'c':
    case 's':
        return PutText(output, &field, **format, args);
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
        return PutNumber(output, &field, **format, args);
    case '%':
        if (*format != conversion)
            return 0;
        Put(output, '%');
        return 1;
    default:
        return 0;
    }
}

int FormatText(char *buffer, size_t count, const char *format, va_list args)
{
    Output output = { buffer, count, 0 };
    va_list rest;

    va_copy(rest, args);
    for (; *format; format++) {
        if (*format != '%')
            Put(&output, *format);
        else if (format++, !PutConversion(&output, &format, &rest)) {
            va_end(rest);
            /* strsafe's Ex functions then take all of `count` as written:
             * the text before the conversion is kept, and zeros follow it,
             * not what the caller's buffer held. */
            while (output.length < count)
                buffer[output.length++] = '\0';
            return -1;
        }
    }
    va_end(rest);
    if (output.length < count)
        buffer[output.length] = '\0';
    return output.length <= count ? (int)output.length : -1;
}
