#!/bin/sh
# A stand-in for the ToruCa editor, registered by examples/editor/editor.reg:
# prints the header lines of the card it is given (code page 932 shown as
# UTF-8, the data lines decoded from Base64, a line break in them as \n) and ends. When
# QEL_EXAMPLE_EDITOR_DONE names a file, it creates that file at the end, so
# that a script can wait for it (the host does not wait for its editor).
file="$1"
if [ -z "$file" ] || [ ! -f "$file" ]; then
    echo "toruca-editor: no card given" >&2
    exit 2
fi
echo "toruca-editor: opened $file"
tr -d '\r' < "$file" | sed '/^MIME-Version:/,$d' | while IFS= read -r line; do
    case "$line" in
        Data[123]:*)
            value=$(printf '%s' "${line#*: }" | base64 -d | iconv -f CP932 -t UTF-8 | tr -d '\r' |
                    awk 'NR > 1 { printf "\\n" } { printf "%s", $0 }')
            printf '  %s: %s\n' "${line%%:*}" "$value"
            ;;
        "") ;;
        *) printf '  %s\n' "$line" | iconv -f CP932 -t UTF-8 ;;
    esac
done
if [ -n "${QEL_EXAMPLE_EDITOR_DONE:-}" ]; then
    : > "$QEL_EXAMPLE_EDITOR_DONE"
fi
