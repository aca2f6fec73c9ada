package org.korvi;

import com.sun.jna.Memory;
import com.sun.jna.Pointer;
import java.io.IOException;
import java.io.InputStream;
import java.lang.ref.Cleaner;
import java.lang.ref.Reference;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFileAttributes;
import java.nio.file.attribute.PosixFilePermission;
import java.util.Arrays;
import java.util.Map;
import java.util.Objects;
import java.util.Set;
import java.util.concurrent.locks.ReentrantReadWriteLock;

/**
 * A key for keyed fingerprints: a secret shared by the two sides of one
 * partnership, so that nobody without it can test guesses against their
 * fingerprints. Pass it first to {@link Korvi}'s keyed methods.
 *
 * <p>A key is 16 to 1024 bytes of random material; {@link #fromFile} and
 * {@link #fromEnv} read it as 32 to 2048 hex digits (what {@code korvi
 * keygen} writes), white space around them ignored. The {@link #keyId} (16
 * hex digits) is safe to show and compare; the key is not, and no message or
 * {@code toString} of this class contains it.
 *
 * <p>The key lives in the library's memory until {@link #close}, which wipes
 * and releases it (a key never closed is released once it is collected).
 * A closed key is refused with {@link IllegalStateException}; a key may be
 * shared by threads, and closing it waits for the calls using it.
 */
public final class Key implements AutoCloseable {
  static final int MIN_BYTES = 16;
  static final int MAX_BYTES = 1024;
  private static final Cleaner RELEASER = Cleaner.create();

  private final Korvi korvi;
  private final String keyId;
  private final String source; // shown by toString: a file's path or a variable's name, never the key
  private final ReentrantReadWriteLock lock = new ReentrantReadWriteLock();
  private final Cleaner.Cleanable release;
  private Pointer handle; // null once closed; guarded by lock

  /** Releases a handle once: on close, or when its Key has been collected. */
  private static final class Release implements Runnable {
    private final Korvi.CFunctions lib;
    private final Pointer handle;

    Release(Korvi.CFunctions lib, Pointer handle) {
      this.lib = lib;
      this.handle = handle;
    }

    @Override
    public void run() {
      lib.korvi_key_free(handle);
    }
  }

  private Key(Korvi korvi, byte[] material, String source) {
    if (material.length < MIN_BYTES || material.length > MAX_BYTES) {
      throw new IllegalArgumentException(
          "key material must be " + MIN_BYTES + " to " + MAX_BYTES + " bytes, not " + material.length);
    }
    Korvi.CFunctions lib = korvi.lib();
    Pointer made;
    // The material goes through memory of our own, zeroed afterwards: the library keeps only what it derives.
    try (Memory copy = new Memory(material.length)) {
      copy.write(0, material, 0, material.length);
      try {
        made = lib.korvi_key_new(copy, new Korvi.SizeT(material.length));
      } finally {
        copy.clear();
      }
    }
    if (made == null) throw new OutOfMemoryError("libkorvi could not allocate a key");
    byte[] id = new byte[17];
    if (lib.korvi_key_id(made, id) == 0) {
      lib.korvi_key_free(made);
      throw new IllegalStateException("libkorvi gave no id for a key it made");
    }
    this.korvi = korvi;
    this.keyId = new String(id, 0, 16, StandardCharsets.US_ASCII);
    this.source = source;
    this.handle = made;
    this.release = RELEASER.register(this, new Release(lib, made));
  }

  /** A key from 16 to 1024 bytes of key material (32 recommended), for this library. */
  public static Key fromBytes(Korvi korvi, byte[] material) {
    Objects.requireNonNull(korvi, "korvi");
    Objects.requireNonNull(material, "key material");
    return new Key(korvi, material, "");
  }

  /**
   * The key in a file of 32 to 2048 hex digits; logs a warning (logger
   * "org.korvi") when the file is readable by group or others.
   */
  public static Key fromFile(Korvi korvi, Path path) throws IOException {
    Objects.requireNonNull(korvi, "korvi");
    Objects.requireNonNull(path, "path");
    byte[] text;
    try (InputStream in = Files.newInputStream(path)) {
      warnIfOthersCanRead(path);
      text = in.readNBytes(2 * MAX_BYTES + 4096);
    }
    return fromHex(korvi, text, "key file " + path, " from file " + path);
  }

  /** The key in an environment variable holding 32 to 2048 hex digits. */
  public static Key fromEnv(Korvi korvi, String name) {
    return fromEnv(korvi, name, System.getenv());
  }

  /** fromEnv with the environment given, so that tests need not change the process's own. */
  static Key fromEnv(Korvi korvi, String name, Map<String, String> environment) {
    Objects.requireNonNull(korvi, "korvi");
    Objects.requireNonNull(name, "name");
    String value = environment.get(name);
    if (value == null) throw new IllegalArgumentException("environment variable " + name + " is not set");
    return fromHex(korvi, value.getBytes(StandardCharsets.UTF_8), "environment variable " + name, " from $" + name);
  }

  private static void warnIfOthersCanRead(Path path) {
    PosixFileAttributes attributes;
    try {
      attributes = Files.readAttributes(path, PosixFileAttributes.class, LinkOption.NOFOLLOW_LINKS);
    } catch (IOException | UnsupportedOperationException e) {
      return; // no POSIX permissions to judge
    }
    Set<PosixFilePermission> permissions = attributes.permissions();
    if (attributes.isRegularFile()
        && (permissions.contains(PosixFilePermission.GROUP_READ) || permissions.contains(PosixFilePermission.OTHERS_READ))) {
      System.getLogger("org.korvi").log(System.Logger.Level.WARNING,
          "key file " + path + " is readable by group or others (chmod 600 " + path + ")");
    }
  }

  /** The hex digits of text, white space around them ignored; the text and the material are wiped after use. */
  private static Key fromHex(Korvi korvi, byte[] text, String where, String source) {
    byte[] material = null;
    try {
      int begin = 0;
      int end = text.length;
      while (begin < end && isSpace(text[begin])) ++begin;
      while (end > begin && isSpace(text[end - 1])) --end;
      int digits = end - begin;
      for (int i = begin; i < end; ++i) {
        if (Character.digit(text[i], 16) < 0) {
          throw new IllegalArgumentException(where + " does not hold a key: only hex digits 0-9 and a-f are allowed");
        }
      }
      if (digits < 2 * MIN_BYTES || digits > 2 * MAX_BYTES || digits % 2 != 0) {
        throw new IllegalArgumentException(where + " holds " + digits + " hex digits; a key needs an even number from "
            + 2 * MIN_BYTES + " to " + 2 * MAX_BYTES + " (korvi keygen makes one)");
      }
      material = new byte[digits / 2];
      for (int i = 0; i < material.length; ++i) {
        material[i] = (byte) (Character.digit(text[begin + 2 * i], 16) << 4 | Character.digit(text[begin + 2 * i + 1], 16));
      }
      return new Key(korvi, material, source);
    } finally {
      Arrays.fill(text, (byte) 0);
      if (material != null) Arrays.fill(material, (byte) 0);
    }
  }

  /** The white space that surrounds a key in a file: ASCII space, tab, line ends, form feed, vertical tab. */
  private static boolean isSpace(byte b) {
    return b == ' ' || b == '\t' || b == '\n' || b == '\r' || b == 0x0b || b == 0x0c;
  }

  /** 16 lower-case hex digits naming the key: safe to show, log and compare (also after close). */
  public String keyId() {
    return keyId;
  }

  /** Whether {@link #close} was called: a closed key is refused by every keyed method. */
  public boolean isClosed() {
    lock.readLock().lock();
    try {
      return handle == null;
    } finally {
      lock.readLock().unlock();
    }
  }

  /** Wipes the key in the library's memory and releases it; later calls are harmless. */
  @Override
  public void close() {
    lock.writeLock().lock(); // waits for the calls using the key
    try {
      handle = null;
      release.clean(); // runs the release at most once, here or by the cleaner
    } finally {
      lock.writeLock().unlock();
    }
  }

  @Override
  public String toString() {
    return "korvi.Key " + keyId + source + (isClosed() ? " (closed)" : "");
  }

  /** A call into the library with the key's handle. */
  interface Use<T> {
    T with(Pointer handle);
  }

  /**
   * Runs use with the handle, which stays valid until it returns; refuses a
   * closed key, and a key of another loaded copy of the library (its handle
   * would mean nothing there).
   */
  <T> T use(Korvi caller, Use<T> use) {
    if (!caller.sameLibrary(korvi)) {
      throw new IllegalArgumentException("key " + keyId + " was made by the library " + korvi.path()
          + ", not by " + caller.path());
    }
    lock.readLock().lock();
    try {
      if (handle == null) throw new IllegalStateException("key " + keyId + " has been closed");
      return use.with(handle);
    } finally {
      lock.readLock().unlock();
      Reference.reachabilityFence(this); // not collected, hence not released, while its handle is in use
    }
  }
}
