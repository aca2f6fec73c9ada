package org.korvi;

import com.sun.jna.IntegerType;
import com.sun.jna.Library;
import com.sun.jna.Native;
import com.sun.jna.NativeLibrary;
import com.sun.jna.Pointer;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import java.util.Objects;

/**
 * A thin Java client of libkorvi's C interface (through JNA).
 *
 * <p>Texts go in as {@code String} (sent as UTF-8) or, where the exact bytes
 * matter, as {@code byte[]}; {@code null} is passed on as a C NULL. Every
 * string the library returns is copied into a {@code String} and released
 * at once with the library's own {@code korvi_free} ({@code free_result}
 * for fingerprint records), so nothing needs closing. Instances are
 * immutable and may be shared by many threads.
 *
 * <p>Keyed fingerprints: every fingerprint, chunk and assets method has a
 * form taking a {@link Key} first; it refuses a null key
 * ({@link NullPointerException}) and a closed one
 * ({@link IllegalStateException}), and never falls back to the public salt.
 */
public final class Korvi {
  /** Cleaning modes. */
  public static final int CLEAN_TEXT = 0;
  public static final int CLEAN_CODE = 1;
  public static final int CLEAN_DIGITS = 2;

  /** Flag bits of {@link #fingerprint}; they may be combined. */
  public static final int FINGERPRINT_BOOLEAN = 0x01;
  public static final int FINGERPRINT_RAW = 0x02;
  public static final int FINGERPRINT_TILED = 0x04;
  public static final int FINGERPRINT_SHORT = 0x08;
  public static final int FINGERPRINT_PARSE_ONLY = 0x10;

  /** Status of a {@link Result}. */
  public static final int STATUS_OK = 0;
  public static final int STATUS_TOO_SHORT = 1;
  public static final int STATUS_BAD_UTF8 = 2;
  public static final int STATUS_PARSE_ERROR = 3;

  /** The C functions used; every returned pointer is the caller's to release. */
  interface CFunctions extends Library {
    Pointer fingerprint(byte[] text, int cleanMode, int flags);
    void free_result(Pointer result);
    Pointer fingerprint_chunk(byte[] text, int flags);
    Pointer clean_string(byte[] text, int mode);
    Pointer assets_from_name(byte[] recordType, byte[] recordId, byte[] first, byte[] middle, byte[] last);
    Pointer assets_from_address(byte[] recordType, byte[] recordId, byte[] address);
    Pointer assets_from_city_state_zip(byte[] recordType, byte[] recordId, byte[] city, byte[] state, byte[] zip);
    Pointer assets_from_email_address(byte[] recordType, byte[] recordId, byte[] email);
    Pointer assets_from_ssn(byte[] recordType, byte[] recordId, byte[] ssn);
    Pointer assets_from_phone_number(byte[] recordType, byte[] recordId, byte[] phone);
    void korvi_free(Pointer pointer);
    Pointer korvi_key_new(Pointer bytes, SizeT length);
    void korvi_key_free(Pointer key);
    byte korvi_key_id(Pointer key, byte[] out); // C bool: only the low byte is meaningful
    Pointer fingerprint_keyed(Pointer key, byte[] text, int cleanMode, int flags);
    Pointer fingerprint_chunk_keyed(Pointer key, byte[] text, int flags);
    Pointer assets_from_name_keyed(Pointer key, byte[] recordType, byte[] recordId, byte[] first, byte[] middle, byte[] last);
    Pointer assets_from_address_keyed(Pointer key, byte[] recordType, byte[] recordId, byte[] address);
    Pointer assets_from_city_state_zip_keyed(Pointer key, byte[] recordType, byte[] recordId, byte[] city, byte[] state, byte[] zip);
    Pointer assets_from_email_address_keyed(Pointer key, byte[] recordType, byte[] recordId, byte[] email);
    Pointer assets_from_ssn_keyed(Pointer key, byte[] recordType, byte[] recordId, byte[] ssn);
    Pointer assets_from_phone_number_keyed(Pointer key, byte[] recordType, byte[] recordId, byte[] phone);
    String korvi_version(); // static texts, never freed
    String korvi_unicode_version();
    String korvi_sha512_implementation();
  }

  /** C's size_t, whose width follows the platform (public only because JNA must build one). */
  public static final class SizeT extends IntegerType {
    private static final long serialVersionUID = 1L;

    public SizeT() {
      this(0);
    }

    public SizeT(long value) {
      super(Native.SIZE_T_SIZE, value, true);
    }
  }

  /** What {@link #fingerprint} answers: a status and the JSON envelope (or bare hex). */
  public static final class Result {
    public final int status;
    public final String text;

    Result(int status, String text) {
      this.status = status;
      this.text = text;
    }

    public boolean ok() {
      return status == STATUS_OK;
    }

    @Override
    public String toString() {
      return status + " " + text;
    }
  }

  private final CFunctions lib;
  private final String path;
  private final Pointer keyFree; // where korvi_key_free sits: one loaded copy of the library, whatever its path

  private Korvi(String path) {
    this.path = path;
    this.lib = Native.load(path, CFunctions.class);
    this.keyFree = NativeLibrary.getInstance(path).getFunction("korvi_key_free");
  }

  CFunctions lib() {
    return lib;
  }

  /** Whether the two load the same copy of the library, so that key handles of one are good in the other. */
  boolean sameLibrary(Korvi other) {
    return other == this || keyFree.equals(other.keyFree);
  }

  /**
   * The library at a path, or a name the system's loader finds ("korvi" for
   * an installed libkorvi.so).
   */
  public static Korvi load(String pathOrName) {
    return new Korvi(pathOrName);
  }

  /** The library named by the KORVI_LIBRARY environment variable, else the installed one. */
  public static Korvi load() {
    String fromEnvironment = System.getenv("KORVI_LIBRARY");
    return load(fromEnvironment != null && !fromEnvironment.isEmpty() ? fromEnvironment : "korvi");
  }

  public String path() {
    return path;
  }

  /**
   * Fingerprints of a text, or of each operand of an expression with
   * FINGERPRINT_BOOLEAN; failures come as a status and the error envelope.
   */
  public Result fingerprint(byte[] text, int cleanMode, int flags) {
    return fingerprintC(cString(text), cleanMode, flags);
  }

  private Result fingerprintC(byte[] cText, int cleanMode, int flags) {
    return takeResult(lib.fingerprint(cText, cleanMode, flags));
  }

  private Result takeResult(Pointer record) {
    if (record == null) throw new OutOfMemoryError("libkorvi could not allocate its result");
    try {
      // struct { int32_t status; char *text; }: the pointer sits one pointer size in.
      Pointer textPointer = record.getPointer(Native.POINTER_SIZE);
      return new Result(record.getInt(0), textPointer == null ? null : textPointer.getString(0, "UTF-8"));
    } finally {
      lib.free_result(record);
    }
  }

  public Result fingerprint(String text, int cleanMode, int flags) {
    return fingerprintC(utf8(text), cleanMode, flags);
  }

  /** Fingerprint of the bytes exactly as given; null for a null text. */
  public String fingerprintChunk(byte[] text, int flags) {
    return take(lib.fingerprint_chunk(cString(text), flags), text == null);
  }

  public String fingerprintChunk(String text, int flags) {
    return take(lib.fingerprint_chunk(utf8(text), flags), text == null);
  }

  /** The cleaned text; null when the text is null or not valid UTF-8. */
  public String cleanString(byte[] text, int mode) {
    return take(lib.clean_string(cString(text), mode), true);
  }

  public String cleanString(String text, int mode) {
    return take(lib.clean_string(utf8(text), mode), true);
  }

  /** The JSON array of the name's assets; a null middle name is absent. */
  public String assetsFromName(String recordType, String recordId, String first, String middle, String last) {
    return take(lib.assets_from_name(utf8(recordType), utf8(recordId), utf8(first), utf8(middle), utf8(last)), false);
  }

  public String assetsFromAddress(String recordType, String recordId, String address) {
    return take(lib.assets_from_address(utf8(recordType), utf8(recordId), utf8(address)), false);
  }

  public String assetsFromCityStateZip(String recordType, String recordId, String city, String state, String zip) {
    return take(lib.assets_from_city_state_zip(utf8(recordType), utf8(recordId), utf8(city), utf8(state), utf8(zip)), false);
  }

  public String assetsFromEmailAddress(String recordType, String recordId, String email) {
    return take(lib.assets_from_email_address(utf8(recordType), utf8(recordId), utf8(email)), false);
  }

  public String assetsFromSsn(String recordType, String recordId, String ssn) {
    return take(lib.assets_from_ssn(utf8(recordType), utf8(recordId), utf8(ssn)), false);
  }

  public String assetsFromPhoneNumber(String recordType, String recordId, String phone) {
    return take(lib.assets_from_phone_number(utf8(recordType), utf8(recordId), utf8(phone)), false);
  }

  /** {@link #fingerprint(byte[], int, int)} keyed with key. */
  public Result fingerprint(Key key, byte[] text, int cleanMode, int flags) {
    byte[] cText = cString(text);
    return takeResult(keyed(key, k -> lib.fingerprint_keyed(k, cText, cleanMode, flags)));
  }

  public Result fingerprint(Key key, String text, int cleanMode, int flags) {
    byte[] cText = utf8(text);
    return takeResult(keyed(key, k -> lib.fingerprint_keyed(k, cText, cleanMode, flags)));
  }

  /** {@link #fingerprintChunk(byte[], int)} keyed with key. */
  public String fingerprintChunk(Key key, byte[] text, int flags) {
    byte[] cText = cString(text);
    return take(keyed(key, k -> lib.fingerprint_chunk_keyed(k, cText, flags)), text == null);
  }

  public String fingerprintChunk(Key key, String text, int flags) {
    byte[] cText = utf8(text);
    return take(keyed(key, k -> lib.fingerprint_chunk_keyed(k, cText, flags)), text == null);
  }

  /** The assets methods keyed with key: same arguments, same JSON arrays. */
  public String assetsFromName(Key key, String recordType, String recordId, String first, String middle, String last) {
    byte[] t = utf8(recordType), i = utf8(recordId), f = utf8(first), m = utf8(middle), l = utf8(last);
    return take(keyed(key, k -> lib.assets_from_name_keyed(k, t, i, f, m, l)), false);
  }

  public String assetsFromAddress(Key key, String recordType, String recordId, String address) {
    byte[] t = utf8(recordType), i = utf8(recordId), a = utf8(address);
    return take(keyed(key, k -> lib.assets_from_address_keyed(k, t, i, a)), false);
  }

  public String assetsFromCityStateZip(Key key, String recordType, String recordId, String city, String state, String zip) {
    byte[] t = utf8(recordType), i = utf8(recordId), c = utf8(city), s = utf8(state), z = utf8(zip);
    return take(keyed(key, k -> lib.assets_from_city_state_zip_keyed(k, t, i, c, s, z)), false);
  }

  public String assetsFromEmailAddress(Key key, String recordType, String recordId, String email) {
    byte[] t = utf8(recordType), i = utf8(recordId), e = utf8(email);
    return take(keyed(key, k -> lib.assets_from_email_address_keyed(k, t, i, e)), false);
  }

  public String assetsFromSsn(Key key, String recordType, String recordId, String ssn) {
    byte[] t = utf8(recordType), i = utf8(recordId), s = utf8(ssn);
    return take(keyed(key, k -> lib.assets_from_ssn_keyed(k, t, i, s)), false);
  }

  public String assetsFromPhoneNumber(Key key, String recordType, String recordId, String phone) {
    byte[] t = utf8(recordType), i = utf8(recordId), p = utf8(phone);
    return take(keyed(key, k -> lib.assets_from_phone_number_keyed(k, t, i, p)), false);
  }

  /** The call made with the key's handle; a null key is refused, never sent as NULL. */
  private Pointer keyed(Key key, Key.Use<Pointer> call) {
    return Objects.requireNonNull(key, "key").use(this, call);
  }

  /** The library's version ("0.1.0"). */
  public String version() {
    return lib.korvi_version();
  }

  /** The Unicode version of the character data that cleaning follows. */
  public String unicodeVersion() {
    return lib.korvi_unicode_version();
  }

  /** The SHA-512 kernel in use ("avx512x8", "avx2x4", "scalar" or "libsodium"). */
  public String sha512Implementation() {
    return lib.korvi_sha512_implementation();
  }

  /** Copies a returned string and releases it; NULL is null where nullAllowed, else out of memory. */
  private String take(Pointer pointer, boolean nullAllowed) {
    if (pointer == null) {
      if (nullAllowed) return null;
      throw new OutOfMemoryError("libkorvi could not allocate its result");
    }
    try {
      return pointer.getString(0, "UTF-8");
    } finally {
      lib.korvi_free(pointer);
    }
  }

  /** The text as a zero-terminated UTF-8 C string. */
  private static byte[] utf8(String text) {
    return text == null ? null : cString(text.getBytes(StandardCharsets.UTF_8));
  }

  /** The bytes with the terminating zero a C string needs; a zero inside would cut it short. */
  private static byte[] cString(byte[] bytes) {
    if (bytes == null) return null;
    for (byte b : bytes) {
      if (b == 0) throw new IllegalArgumentException("a NUL byte in a text would cut it short");
    }
    return Arrays.copyOf(bytes, bytes.length + 1);
  }
}
