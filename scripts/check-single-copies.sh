#!/bin/sh
# Checks that the console's code is in one place: no function of the project
# is defined both in bin/camconsole and in one of the libraries of
# lib/camconsole/ that it links or loads, nor in two of those libraries.
# Each layer is its own shared library, linked by the layers above it, so a
# second copy means a layer linked statically into two of them.
#
# The driver library (libtarqis.so) is left out: it stands alone, as any
# driver library the console may be given does, and carries its own copy of
# the port numbering (common/).
#
#   scripts/check-single-copies.sh [BUILD_DIR]
set -eu
build=${1:-build}
listing=$(mktemp)
trap 'rm -f "$listing"' EXIT
# One line per file and function: the file, then the function's name as the
# source spells it. Only functions compiled from a source file count (strong
# definitions, T and t): the inline functions and templates that the
# compiler emits, weak, wherever they are used (an implicit destructor, a
# std::vector method) are bound to one copy by the dynamic loader. The
# runtime's start-up code is not the project's.
for file in "$build"/bin/camconsole "$build"/lib/camconsole/libcamconsole_*.so; do
    nm -C --defined-only "$file" |
        awk -v file="${file##*/}" '$2 ~ /^[Tt]$/ { $1 = ""; $2 = ""; sub(/^ +/, ""); print file "\t" $0 }'
done | sort -u |
    perl -ne '
        # The function qualified name: template arguments dropped, then the
        # last word before its parameters (template functions print their
        # return type first). The standard library, Qt and the start-up code
        # are not the project; the compiler may clone their templates locally.
        my ($file, $function) = /^([^\t]*)\t(.*)$/ or next;
        my $name = $function;
        1 while $name =~ s/<[^<>]*>//g;
        $name =~ s/\(.*//;
        $name = (split / /, $name)[-1] // "";
        next if $name =~ /^(std|__gnu_cxx|__cxxabiv1|Q[A-Za-z0-9_]*)::/;
        next if $name =~ /^(_sub_[DI]_\d+_\d+|_init|_fini|frame_dummy|__do_global_dtors_aux|(de)?register_tm_clones|_start)$/;
        print;
    ' >"$listing" || true
copies=$(cut -f2 "$listing" | sort | uniq -d)
if [ -n "$copies" ]; then
    echo "check-single-copies: functions defined in more than one of the console's files:" >&2
    echo "$copies" | while IFS= read -r function; do
        files=$(awk -F'\t' -v f="$function" '$2 == f { printf " %s", $1 }' "$listing")
        echo "  $function:$files" >&2
    done
    exit 1
fi
echo "check-single-copies: $(cut -f2 "$listing" | sort -u | wc -l) functions, each in one file"
