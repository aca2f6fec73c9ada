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
 */
public class KorviTest {
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

  @Test
  public void everyVectorOfTheCoveredExportsAgrees() throws IOException {
    List<String> failures = new ArrayList<>();
    Map<String, Integer> checked = new TreeMap<>();
    int lineNumber = 0;
    for (String line : Files.readAllLines(source.resolve("tests/vectors/vectors.tsv"), StandardCharsets.UTF_8)) {
      ++lineNumber;
      if (line.isEmpty() || line.startsWith("#")) continue;
      String[] raw = line.split("\t", -1);
      String call = raw[0];
      byte[][] f = new byte[raw.length][];
      for (int i = 1; i < raw.length; ++i) f[i] = unescape(raw[i]);
      String expected = text(f[raw.length - 1]);
      String actual;
      if (call.equals("fingerprint")) {
        Korvi.Result r = korvi.fingerprint(f[1], Integer.parseInt(raw[2]), Integer.parseInt(raw[3]));
        actual = r.status + " " + r.text;
        expected = raw[4] + " " + expected;
      } else if (call.equals("clean_string")) {
        actual = korvi.cleanString(f[1], Integer.parseInt(raw[2]));
      } else if (call.equals("fingerprint_chunk")) {
        actual = korvi.fingerprintChunk(f[1], Integer.parseInt(raw[2]));
      } else if (call.startsWith("assets_from_") && !call.endsWith("_keyed")) {
        // The asset methods take Strings; inputs that are not UTF-8 cannot be written as one.
        String[] s = new String[raw.length - 1];
        boolean representable = true;
        for (int i = 1; i < raw.length - 1; ++i) {
          s[i] = strictUtf8(f[i]);
          representable &= (s[i] != null) == (f[i] != null);
        }
        if (!representable) continue;
        switch (call) {
          case "assets_from_name": actual = korvi.assetsFromName(s[1], s[2], s[3], s[4], s[5]); break;
          case "assets_from_address": actual = korvi.assetsFromAddress(s[1], s[2], s[3]); break;
          case "assets_from_city_state_zip": actual = korvi.assetsFromCityStateZip(s[1], s[2], s[3], s[4], s[5]); break;
          case "assets_from_email_address": actual = korvi.assetsFromEmailAddress(s[1], s[2], s[3]); break;
          case "assets_from_ssn": actual = korvi.assetsFromSsn(s[1], s[2], s[3]); break;
          case "assets_from_phone_number": actual = korvi.assetsFromPhoneNumber(s[1], s[2], s[3]); break;
          default: throw new AssertionError("unknown call " + call);
        }
      } else {
        continue; // the JSON tree functions and keyed calls are not part of the Java client
      }
      checked.merge(call, 1, Integer::sum);
      if (!String.valueOf(expected).equals(String.valueOf(actual))) {
        failures.add("line " + lineNumber + ": " + call + "\n  expected " + expected + "\n  got      " + actual);
      }
    }
    assertEquals(String.join("\n", failures), 0, failures.size());
    // Every covered export was reached, the plain and boolean roads many times.
    assertEquals(checked.toString(), 9, checked.size());
    assertTrue(checked.toString(), checked.get("fingerprint") > 400 && checked.get("clean_string") > 80);
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
