package ordo;

/**
 * Raised by the native library when a decision-diagram operation yields no
 * result; the message names the reason.
 */
public class BDDException extends RuntimeException {
    private static final long serialVersionUID = 1L;

    /** Creates the exception with the given message. */
    public BDDException(String message) {
        super(message);
    }
}
