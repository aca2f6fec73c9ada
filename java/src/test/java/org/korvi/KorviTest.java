package org.korvi;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNull;
import static org.junit.Assert.assertThrows;
import static org.junit.Assert.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.charset.CharacterCodingException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.junit.BeforeClass;
import org.junit.Test;

/**
 * The Java client against the cross-platform vectors (written from Python's
 * hashlib and hand-worked cleaning, not by this library) and a few cases
 * of its own about what Java adds: UTF-8 of Strings, NUL bytes, versions.
 * KeyTest covers the Key class itself.
 */
public class KorviTest {
  /** The test key of the vectors: bytes 0x00 to 0x1f. */
  static final String TEST_KEY = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
  private static Korvi korvi;
  private static Path source;

  @BeforeClass
  public static void load() {
    korvi = Korvi.load(); // KORVI_LIBRARY, set by java/build.sh
    source = Paths.get(System.getProperty("korvi.source", "."));
  }

  /** A field of vectors.tsv: \N is NULL; \\ \t \n \r \xHH are escapes. */
  private static byte[] unescape(String field) {
    if (field.equals("\\N")) return null;
    ByteArrayOutputStream out = new ByteArrayOutputStream();
    byte[] in = field.getBytes(StandardCharsets.UTF_8);
    for (int i = 0; i < in.length; ++i) {
      if (in[i] != '\\') {
        out.write(in[i]);
        continue;
      }
      char c = (char) in[++i];
      switch (c) {
        case '\\': out.write('\\'); break;
        case 't': out.write('\t'); break;
        case 'n': out.write('\n'); break;
        case 'r': out.write('\r'); break;
        case 'x':
          out.write(Integer.parseInt(new String(in, i + 1, 2, StandardCharsets.US_ASCII), 16));
          i += 2;
          break;
        default: throw new IllegalArgumentException("bad escape in " + field);
      }
    }
    return out.toByteArray();
  }

  /** The bytes as a String, or null where they are not UTF-8 (a String cannot carry them). */
  private static String strictUtf8(byte[] bytes) {
    if (bytes == null) return null;
    try {
      return StandardCharsets.UTF_8.newDecoder().decode(ByteBuffer.wrap(bytes)).toString();
    } catch (CharacterCodingException e) {
      return null;
    }
  }

  private static String text(byte[] bytes) {
    return bytes == null ? null : new String(bytes, StandardCharsets.UTF_8);
  }

  /** Bytes from hex digits. */
  static byte[] hex(String digits) {
    byte[] bytes = new byte[digits.length() / 2];
    for (int i = 0; i < bytes.length; ++i) bytes[i] = (byte) Integer.parseInt(digits.substring(2 * i, 2 * i + 2), 16);
    return bytes;
  }

  @Test
  public void everyVectorOfTheCoveredExportsAgrees() throws IOException {
    List<String> failures = new ArrayList<>();
    Map<String, Integer> checked = new TreeMap<>();
    Map<String, Key> keys = new HashMap<>();
    Key closed = Key.fromBytes(korvi, hex(TEST_KEY));
    closed.close();
    try {
      int lineNumber = 0;
      for (String line : Files.readAllLines(source.resolve("tests/vectors/vectors.tsv"), StandardCharsets.UTF_8)) {
        ++lineNumber;
        if (line.isEmpty() || line.startsWith("#")) continue;
        String[] raw = line.split("\t", -1);
        String call = raw[0];
        String[] outcome;
        if (call.equals("korvi_key_new")) {
          String id;
          try (Key key = Key.fromBytes(korvi, hex(raw[1]))) {
            id = key.keyId();
          } catch (IllegalArgumentException refused) {
            id = null;
          }
          outcome = new String[] {text(unescape(raw[2])), id};
        } else {
          boolean keyed = call.endsWith("_keyed");
          // A keyed row is the unkeyed row with the key's material put first.
          String[] row = keyed ? Arrays.copyOfRange(raw, 1, raw.length) : raw;
          row[0] = keyed ? call.substring(0, call.length() - "_keyed".length()) : call;
          if (keyed && raw[1].equals("\\N")) {
            // Java sends no NULL key: a null Key is refused before the call, and so is a closed one.
            assertThrows("line " + lineNumber, NullPointerException.class, () -> replay(row, true, null));
            assertThrows("line " + lineNumber, IllegalStateException.class, () -> replay(row, true, closed));
            checked.merge(call, 1, Integer::sum);
            continue;
          }
          outcome = replay(row, keyed, keyed ? keys.computeIfAbsent(raw[1], m -> Key.fromBytes(korvi, hex(m))) : null);
          if (outcome == null) continue;
        }
        checked.merge(call, 1, Integer::sum);
        if (!String.valueOf(outcome[0]).equals(String.valueOf(outcome[1]))) {
          failures.add("line " + lineNumber + ": " + call + "\n  expected " + outcome[0] + "\n  got      " + outcome[1]);
        }
      }
    } finally {
      for (Key key : keys.values()) key.close();
    }
    assertEquals(String.join("\n", failures), 0, failures.size());
    // Every covered export was reached, keyed or not, the plain and boolean roads many times.
    assertEquals(checked.toString(), 18, checked.size());
    assertTrue(checked.toString(), checked.get("fingerprint") > 400 && checked.get("clean_string") > 80);
    assertTrue(checked.toString(), checked.get("fingerprint_keyed") > 40 && checked.get("korvi_key_new") >= 5);
  }

  /** {expected, actual} of an unkeyed row made with key or without; null where Java cannot make the call. */
  private static String[] replay(String[] raw, boolean keyed, Key key) {
    byte[][] f = new byte[raw.length][];
    for (int i = 1; i < raw.length; ++i) f[i] = unescape(raw[i]);
    String expected = text(f[raw.length - 1]);
    String call = raw[0];
    if (call.equals("fingerprint")) {
      int mode = Integer.parseInt(raw[2]), flags = Integer.parseInt(raw[3]);
      Korvi.Result r = keyed ? korvi.fingerprint(key, f[1], mode, flags) : korvi.fingerprint(f[1], mode, flags);
      return new String[] {raw[4] + " " + expected, r.status + " " + r.text};
    } else if (call.equals("clean_string")) {
      return new String[] {expected, korvi.cleanString(f[1], Integer.parseInt(raw[2]))};
    } else if (call.equals("fingerprint_chunk")) {
      int flags = Integer.parseInt(raw[2]);
      return new String[] {expected, keyed ? korvi.fingerprintChunk(key, f[1], flags) : korvi.fingerprintChunk(f[1], flags)};
    } else if (!call.startsWith("assets_from_")) {
      return null; // the JSON tree functions are not part of the Java client
    }
    // The asset methods take Strings; inputs that are not UTF-8 cannot be written as one.
    String[] s = new String[raw.length - 1];
    for (int i = 1; i < raw.length - 1; ++i) {
      s[i] = strictUtf8(f[i]);
      if ((s[i] != null) != (f[i] != null)) return null;
    }
    String actual;
    switch (call) {
      case "assets_from_name":
        actual = keyed ? korvi.assetsFromName(key, s[1], s[2], s[3], s[4], s[5]) : korvi.assetsFromName(s[1], s[2], s[3], s[4], s[5]);
        break;
      case "assets_from_address":
        actual = keyed ? korvi.assetsFromAddress(key, s[1], s[2], s[3]) : korvi.assetsFromAddress(s[1], s[2], s[3]);
        break;
      case "assets_from_city_state_zip":
        actual = keyed ? korvi.assetsFromCityStateZip(key, s[1], s[2], s[3], s[4], s[5])
                       : korvi.assetsFromCityStateZip(s[1], s[2], s[3], s[4], s[5]);
        break;
      case "assets_from_email_address":
        actual = keyed ? korvi.assetsFromEmailAddress(key, s[1], s[2], s[3]) : korvi.assetsFromEmailAddress(s[1], s[2], s[3]);
        break;
      case "assets_from_ssn":
        actual = keyed ? korvi.assetsFromSsn(key, s[1], s[2], s[3]) : korvi.assetsFromSsn(s[1], s[2], s[3]);
        break;
      case "assets_from_phone_number":
        actual = keyed ? korvi.assetsFromPhoneNumber(key, s[1], s[2], s[3]) : korvi.assetsFromPhoneNumber(s[1], s[2], s[3]);
        break;
      default: throw new AssertionError("unknown call " + call);
    }
    return new String[] {expected, actual};
  }

  @Test
  public void stringsGoInAsUtf8() {
    String text = "Müller-Lüdenscheidt Straße 12";
    byte[] bytes = text.getBytes(StandardCharsets.UTF_8);
    int flags = Korvi.FINGERPRINT_TILED | Korvi.FINGERPRINT_SHORT;
    assertEquals(korvi.fingerprint(bytes, Korvi.CLEAN_TEXT, flags).text,
        korvi.fingerprint(text, Korvi.CLEAN_TEXT, flags).text);
    assertEquals("MÜLLER LÜDENSCHEIDT STRAßE 12", korvi.cleanString(text, Korvi.CLEAN_TEXT));
    assertEquals(korvi.fingerprintChunk(bytes, 0), korvi.fingerprintChunk(text, 0));
  }

  @Test
  public void failuresComeAsTheErrorEnvelope() {
    Korvi.Result tooShort = korvi.fingerprint("ab", Korvi.CLEAN_TEXT, Korvi.FINGERPRINT_RAW);
    assertEquals(Korvi.STATUS_TOO_SHORT, tooShort.status);
    assertEquals("{\"success\":false,\"error\":\"Input length too short\"}", tooShort.text);
    Korvi.Result parse = korvi.fingerprint("red OR (green", Korvi.CLEAN_TEXT, Korvi.FINGERPRINT_BOOLEAN);
    assertEquals(Korvi.STATUS_PARSE_ERROR, parse.status);
    assertEquals("{\"success\":false,\"error\":\"Expression parse error\"}", parse.text);
    Korvi.Result nothing = korvi.fingerprint((String) null, Korvi.CLEAN_TEXT, 0);
    assertEquals(Korvi.STATUS_BAD_UTF8, nothing.status);
    assertNull(korvi.cleanString((String) null, Korvi.CLEAN_TEXT));
    assertNull(korvi.fingerprintChunk((byte[]) null, 0));
    assertEquals("[]", korvi.assetsFromSsn("person", null, "123-45-6789"));
    // A NUL would cut the C string short: refused before the call.
    assertThrows(IllegalArgumentException.class, () -> korvi.fingerprint("john\0smith", 0, 0));
    assertThrows(IllegalArgumentException.class, () -> korvi.assetsFromSsn("p", "1", "1\0"));
  }

  @Test
  public void versions() throws IOException {
    String cmake = new String(Files.readAllBytes(source.resolve("CMakeLists.txt")), StandardCharsets.UTF_8);
    Matcher project = Pattern.compile("project\\(korvi VERSION ([0-9.]+)").matcher(cmake);
    assertTrue(project.find());
    assertEquals(project.group(1), korvi.version());
    assertTrue(korvi.unicodeVersion(), korvi.unicodeVersion().matches("\\d+\\.\\d+\\.\\d+"));
    assertTrue(korvi.sha512Implementation(),
        korvi.sha512Implementation().matches("avx512x16|avx512x8|avx2x4|scalar|libsodium"));
  }
}
