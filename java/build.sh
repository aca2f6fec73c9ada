#!/usr/bin/env bash
# Builds the Java client of libkorvi (build/java/korvi.jar) with the JDK and
# Debian's JNA, and with `test` also runs its JUnit tests against a library.
#
#   bash java/build.sh                         # build/java/korvi.jar
#   bash java/build.sh test build/test/libkorvi.so
#
# Needs default-jdk-headless, libjna-java and junit4 (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${KORVI_JAVA_BUILD_DIR:-build/java}
share=/usr/share/java
for need in javac java jar; do
  command -v "$need" >/dev/null || { echo "java/build.sh: no $need; run scripts/install-deps.sh" >&2; exit 1; }
done
for jar in jna.jar junit4.jar hamcrest-core.jar; do
  [ -f "$share/$jar" ] || { echo "java/build.sh: no $share/$jar; run scripts/install-deps.sh" >&2; exit 1; }
done

rm -rf "$out/classes" "$out/test-classes"
mkdir -p "$out/classes" "$out/test-classes"
javac -Xlint:all -Werror --release 11 -encoding UTF-8 -cp "$share/jna.jar" -d "$out/classes" \
  $(find java/src/main/java -name '*.java')
jar --create --file "$out/korvi.jar" -C "$out/classes" .
echo "java/build.sh: $out/korvi.jar"

if [ "${1:-}" = test ]; then
  library=$(realpath "${2:?java/build.sh test LIBRARY}")
  classpath="$out/korvi.jar:$share/jna.jar:$share/junit4.jar:$share/hamcrest-core.jar"
  javac -Xlint:all -Werror --release 11 -encoding UTF-8 -cp "$classpath" -d "$out/test-classes" \
    $(find java/src/test/java -name '*.java')
  KORVI_LIBRARY=$library java -Dkorvi.source="$PWD" -cp "$out/test-classes:$classpath" \
    org.junit.runner.JUnitCore org.korvi.KorviTest org.korvi.KeyTest
fi
