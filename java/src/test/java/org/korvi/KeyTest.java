package org.korvi;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertNotEquals;
import static org.junit.Assert.assertThrows;
import static org.junit.Assert.assertTrue;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.attribute.PosixFilePermissions;
import java.security.GeneralSecurityException;
import java.security.SecureRandom;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.concurrent.atomic.AtomicReference;
import java.util.function.Function;
import java.util.logging.Handler;
import java.util.logging.Level;
import java.util.logging.LogRecord;
import java.util.logging.Logger;
import javax.crypto.Mac;
import javax.crypto.SecretKey;
import org.junit.After;
import org.junit.Before;
import org.junit.BeforeClass;
import org.junit.Test;
import org.junit.function.ThrowingRunnable;

/**
 * Keys: the three ways to make one, the JDK's own HMAC-SHA512 against the
 * library, keys refused without being shown, and closed keys refused
 * everywhere (the keyed vectors are replayed by KorviTest).
 */
public class KeyTest {
  private static final String TEST_KEY = KorviTest.TEST_KEY;
  private static final String TEST_KEY_ID = "9e2e5239f5f042e6"; // the vectors' id of TEST_KEY
  private static final byte[] SALT = "Qm7pZ2vX+9LcT4nB8rKs1A".getBytes(StandardCharsets.US_ASCII);
  private static Korvi korvi;
  private Path directory;

  @BeforeClass
  public static void load() {
    korvi = Korvi.load();
  }

  @Before
  public void makeDirectory() throws IOException {
    directory = Files.createTempDirectory("korvi-key-test");
  }

  @After
  public void removeDirectory() throws IOException {
    try (var files = Files.list(directory)) {
      for (Path file : (Iterable<Path>) files::iterator) Files.delete(file);
    }
    Files.delete(directory);
  }

  private Path keyFile(String text, String permissions) throws IOException {
    Path path = directory.resolve("partner.key");
    Files.write(path, text.getBytes(StandardCharsets.UTF_8));
    Files.setPosixFilePermissions(path, PosixFilePermissions.fromString(permissions));
    return path;
  }

  // The key's bytes as they are, which is all the JDK's HMAC reads of a key.
  private static SecretKey rawKey(byte[] key) {
    return new SecretKey() {
      private static final long serialVersionUID = 1L;

      @Override
      public String getAlgorithm() {
        return "HmacSHA512";
      }

      @Override
      public String getFormat() {
        return "RAW";
      }

      @Override
      public byte[] getEncoded() {
        return key.clone();
      }
    };
  }

  private static byte[] hmac(byte[] key, byte[]... parts) throws GeneralSecurityException {
    Mac mac = Mac.getInstance("HmacSHA512");
    mac.init(rawKey(key));
    for (byte[] part : parts) mac.update(part);
    return mac.doFinal();
  }

  private static String hexOf(byte[] bytes, int count) {
    StringBuilder out = new StringBuilder();
    for (int i = 0; i < count; ++i) out.append(String.format("%02x", bytes[i]));
    return out.toString();
  }

  private static byte[] ascii(String text) {
    return text.getBytes(StandardCharsets.US_ASCII);
  }

  @Test
  public void aRandomKeyAgreesWithTheJdksHkdfAndHmac() throws GeneralSecurityException {
    byte[] material = new byte[48];
    new SecureRandom().nextBytes(material);
    // HKDF-SHA512: extract with the mode's salt, then one block of expand per output.
    byte[] prk = hmac(ascii("korvi keyed fingerprints v1"), material);
    byte[] fingerprintKey = hmac(prk, ascii("fingerprint"), new byte[] {1});
    String keyId = hexOf(hmac(prk, ascii("key id"), new byte[] {1}), 8);
    try (Key key = Key.fromBytes(korvi, material)) {
      assertEquals(keyId, key.keyId());
      assertEquals(hexOf(hmac(fingerprintKey, ascii("exact bytes"), SALT), 32),
          korvi.fingerprintChunk(key, "exact bytes", 0));
      // 16 letters, cleaned to upper case: three windows of 14, short, sorted and joined.
      List<String> windows = new ArrayList<>();
      for (int i = 0; i < 3; ++i) {
        windows.add(hexOf(hmac(fingerprintKey, ascii("ABCDEFGHIJKLMNOP".substring(i, i + 14)), SALT), 8));
      }
      windows.sort(null);
      int flags = Korvi.FINGERPRINT_SHORT | Korvi.FINGERPRINT_RAW;
      assertEquals("0 " + String.join("", windows), korvi.fingerprint(key, "abcdefghijklmnop", Korvi.CLEAN_TEXT, flags).toString());
      assertNotEquals(String.join("", windows), korvi.fingerprint("abcdefghijklmnop", Korvi.CLEAN_TEXT, flags).text);
    }
  }

  @Test
  public void theThreeSourcesGiveOneKey() throws IOException {
    Path path = keyFile("  " + TEST_KEY + "\n", "rw-------");
    Map<String, String> environment = Map.of("KORVI_TEST_KEY", "\t" + TEST_KEY.toUpperCase() + " ");
    try (Key fromBytes = Key.fromBytes(korvi, KorviTest.hex(TEST_KEY));
         Key fromFile = Key.fromFile(korvi, path);
         Key fromEnv = Key.fromEnv(korvi, "KORVI_TEST_KEY", environment)) {
      for (Key key : Arrays.asList(fromBytes, fromFile, fromEnv)) {
        assertEquals(TEST_KEY_ID, key.keyId());
        assertEquals(korvi.fingerprintChunk(fromBytes, "abc", 0), korvi.fingerprintChunk(key, "abc", 0));
      }
      assertEquals("korvi.Key " + TEST_KEY_ID + " from file " + path, fromFile.toString());
      assertEquals("korvi.Key " + TEST_KEY_ID + " from $KORVI_TEST_KEY", fromEnv.toString());
      assertEquals("korvi.Key " + TEST_KEY_ID, fromBytes.toString());
    }
  }

  @Test
  public void aKeyFileOthersCanReadIsWarnedAbout() throws IOException {
    Logger logger = Logger.getLogger("org.korvi");
    List<LogRecord> records = new ArrayList<>();
    Handler handler = new Handler() {
      @Override public void publish(LogRecord record) { records.add(record); }
      @Override public void flush() {}
      @Override public void close() {}
    };
    logger.addHandler(handler);
    logger.setUseParentHandlers(false);
    try {
      Key.fromFile(korvi, keyFile(TEST_KEY, "rw-------")).close();
      assertEquals(0, records.size());
      Key.fromFile(korvi, keyFile(TEST_KEY, "rw-r--r--")).close();
      assertEquals(1, records.size());
      assertEquals(Level.WARNING, records.get(0).getLevel());
      assertTrue(records.get(0).getMessage(), records.get(0).getMessage().contains("readable by group or others"));
    } finally {
      logger.removeHandler(handler);
      logger.setUseParentHandlers(true);
    }
  }

  @Test
  public void badKeysAreRefusedWithoutShowingThem() throws IOException {
    String secret = "0123456789abcdef".repeat(2);
    String[] texts = {secret.substring(0, 30), secret.substring(0, 31) + "g", secret + "0", "é" + secret,
                      secret.repeat(65), ""};
    for (String text : texts) {
      for (ThrowingRunnable make : Arrays.<ThrowingRunnable>asList(
               () -> Key.fromFile(korvi, keyFile(text, "rw-------")),
               () -> Key.fromEnv(korvi, "KORVI_TEST_KEY", Map.of("KORVI_TEST_KEY", text)))) {
        String message = assertThrows(text, IllegalArgumentException.class, make).getMessage();
        assertTrue(message, message.contains("hex digits"));
        assertFalse(message, !text.isEmpty() && message.contains(text.substring(0, 16)));
      }
    }
    String unset = assertThrows(IllegalArgumentException.class, () -> Key.fromEnv(korvi, "KORVI_NO_SUCH_KEY_VARIABLE")).getMessage();
    assertEquals("environment variable KORVI_NO_SUCH_KEY_VARIABLE is not set", unset);
    for (int length : new int[] {0, 15, 1025}) {
      String message = assertThrows(IllegalArgumentException.class, () -> Key.fromBytes(korvi, new byte[length])).getMessage();
      assertEquals("key material must be 16 to 1024 bytes, not " + length, message);
    }
    assertThrows(NullPointerException.class, () -> Key.fromBytes(korvi, null));
    assertThrows(NoSuchFileException.class, () -> Key.fromFile(korvi, directory.resolve("missing.key")));
  }

  @Test
  public void aClosedOrNullKeyIsRefusedByEveryKeyedMethod() {
    Key key = Key.fromBytes(korvi, KorviTest.hex(TEST_KEY));
    key.close();
    key.close(); // harmless
    assertTrue(key.isClosed());
    assertEquals(TEST_KEY_ID, key.keyId());
    assertEquals("korvi.Key " + TEST_KEY_ID + " (closed)", key.toString());
    List<Function<Key, Object>> calls = Arrays.asList(
        k -> korvi.fingerprint(k, "john smith jr", Korvi.CLEAN_TEXT, 0),
        k -> korvi.fingerprint(k, "john smith jr".getBytes(StandardCharsets.UTF_8), Korvi.CLEAN_TEXT, 0),
        k -> korvi.fingerprintChunk(k, "abc", 0),
        k -> korvi.fingerprintChunk(k, new byte[] {'a'}, 0),
        k -> korvi.assetsFromName(k, "person", "1", "bob", null, "smith"),
        k -> korvi.assetsFromAddress(k, "person", "1", "123 N. Main St."),
        k -> korvi.assetsFromCityStateZip(k, "person", "1", "Austin", "tx", "78701"),
        k -> korvi.assetsFromEmailAddress(k, "person", "1", "a@b.example"),
        k -> korvi.assetsFromSsn(k, "person", "1", "123-45-6789"),
        k -> korvi.assetsFromPhoneNumber(k, "person", "1", "(555) 123-4567"));
    for (Function<Key, Object> call : calls) {
      String message = assertThrows(IllegalStateException.class, () -> call.apply(key)).getMessage();
      assertEquals("key " + TEST_KEY_ID + " has been closed", message);
      assertThrows(NullPointerException.class, () -> call.apply(null));
    }
  }

  @Test
  public void aKeyBelongsToOneLoadedCopyOfTheLibrary() throws IOException {
    Path library = Paths.get(korvi.path());
    Path copy = directory.resolve("libkorvi-copy.so");
    Files.copy(library, copy);
    try (Key key = Key.fromBytes(korvi, KorviTest.hex(TEST_KEY))) {
      // The same file loaded again is the same copy: its handles are good there.
      assertEquals(korvi.fingerprintChunk(key, "abc", 0), Korvi.load(korvi.path()).fingerprintChunk(key, "abc", 0));
      Korvi other = Korvi.load(copy.toString());
      String message = assertThrows(IllegalArgumentException.class, () -> other.fingerprintChunk(key, "abc", 0)).getMessage();
      assertTrue(message, message.startsWith("key " + TEST_KEY_ID + " was made by the library "));
    }
  }

  @Test
  public void closingAKeyInUseWaitsForItsCalls() throws InterruptedException {
    Key key = Key.fromBytes(korvi, KorviTest.hex(TEST_KEY));
    String expected = korvi.fingerprintChunk(key, "abc", 0);
    AtomicReference<Throwable> wrong = new AtomicReference<>();
    List<Thread> threads = new ArrayList<>();
    for (int t = 0; t < 4; ++t) {
      Thread thread = new Thread(() -> {
        try {
          for (int i = 0; i < 2000; ++i) {
            String answer = korvi.fingerprintChunk(key, "abc", 0);
            if (!expected.equals(answer)) throw new AssertionError("got " + answer);
          }
        } catch (IllegalStateException closed) {
          // every call after close is refused
        } catch (Throwable e) {
          wrong.set(e);
        }
      });
      threads.add(thread);
      thread.start();
    }
    Thread.sleep(5);
    key.close();
    for (Thread thread : threads) thread.join();
    if (wrong.get() != null) throw new AssertionError(wrong.get());
    assertThrows(IllegalStateException.class, () -> korvi.fingerprintChunk(key, "abc", 0));
  }
}
