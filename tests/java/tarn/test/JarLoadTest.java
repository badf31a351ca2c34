package tarn.test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import ordo.TARNFactory;
import org.junit.jupiter.api.Test;

/** tarn.jar carries the library: a JVM with the jar alone on its class path can use it. */
class JarLoadTest {

    static Path jarOf(Class<?> c) throws Exception {
        return Path.of(c.getProtectionDomain().getCodeSource().getLocation().toURI());
    }

    @Test
    void theJarLoadsItsOwnLibrary() throws Exception {
        Path tarnJar = jarOf(TARNFactory.class);
        assertTrue(tarnJar.toString().endsWith("tarn.jar"), tarnJar.toString());
        Path java = Path.of(System.getProperty("java.home"), "bin", "java");
        ProcessBuilder pb = new ProcessBuilder(java.toString(), "-cp",
                tarnJar + File.pathSeparator + jarOf(JarLoadMain.class), JarLoadMain.class.getName());
        pb.redirectErrorStream(true);
        pb.environment().remove("LD_LIBRARY_PATH");
        Process p = pb.start();
        String out = new String(p.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        assertEquals(0, p.waitFor(), out);
        assertTrue(out.contains("satCount 6.0"), out);
    }
}
