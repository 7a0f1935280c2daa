#!/usr/bin/env bash
# scripts/format-layouts changes only whitespace between elements, is idempotent, and leaves
# a file it cannot read as it was.
set -euo pipefail
format="$(cd "$(dirname "$0")/../.." && pwd)/scripts/format-layouts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
fail() { echo "FAIL: $*"; exit 1; }

# Values whose whitespace matters: text with spaces and a line break, an attribute holding '>'
# and a line break, entities, a CDATA section and an element mixing text and elements.
printf '%s' "<?xml version='1.0' encoding='UTF-8'?><!-- head --><ui version=\"4.0\"><class>T</class><widget class=\"QLabel\" name=\"a&amp;b\"><property name=\"text\"><string>  two
lines &lt;&gt; </string></property><property name=\"x\" note='1 > 0
and &quot;'><number>3</number></property><empty/><none></none><spaced>  </spaced><mixed>a<b/>c</mixed><raw><![CDATA[ <x> ]]></raw></widget>


<!-- tail --></ui>" >one.xml
cat >want.xml <<'XML'
<?xml version='1.0' encoding='UTF-8'?>
<!-- head -->
<ui version="4.0">
  <class>T</class>
  <widget class="QLabel" name="a&amp;b">
    <property name="text">
      <string>  two
lines &lt;&gt; </string>
    </property>
    <property name="x" note='1 > 0
and &quot;'>
      <number>3</number>
    </property>
    <empty/>
    <none></none>
    <spaced>  </spaced>
    <mixed>a<b/>c</mixed>
    <raw><![CDATA[ <x> ]]></raw>
  </widget>

  <!-- tail -->
</ui>
XML
cp one.xml unformatted.xml
out=$("$format" --check one.xml) && fail "--check passed an unformatted file"
grep -q "one.xml" <<<"$out" || fail "--check did not name the file: $out"
cmp -s one.xml unformatted.xml || fail "--check changed the file"

"$format" one.xml
cmp one.xml want.xml || { diff want.xml one.xml; fail "unexpected layout"; }
"$format" one.xml
cmp -s one.xml want.xml || fail "a second run changed the file"
"$format" --check one.xml >/dev/null || fail "--check failed a formatted file"

printf '<ui><widget></ui>\n' >broken.xml
cp broken.xml broken.orig
status=0
"$format" broken.xml 2>err.txt || status=$?
[ "$status" -eq 2 ] || fail "a malformed file gave status $status"
grep -q "broken.xml" err.txt || fail "the error does not name the file: $(cat err.txt)"
cmp -s broken.xml broken.orig || fail "a malformed file was changed"
[ -z "$(ls -A | grep -v -e '^one.xml$' -e '^want.xml$' -e '^unformatted.xml$' -e '^broken' -e '^err.txt$')" ] ||
  fail "left files behind: $(ls -A)"
echo "format-layouts: ok"
