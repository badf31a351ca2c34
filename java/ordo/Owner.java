package ordo;

import java.lang.ref.Cleaner;

/**
 * What {@link BDD}, {@link ADD} and {@link BDDPairing} share: each object owns
 * one native resource (a node reference or a pairing record) from its
 * creation until {@link #free()}, or until the Java garbage collector finds
 * the object dropped.
 */
abstract class Owner {
    final TARNFactory.Owned state;
    private final Cleaner.Cleanable cleanable;

    Owner(long handle, int kind) {
        state = new TARNFactory.Owned(handle, kind);
        cleanable = TARNFactory.register(this, state);
    }

    /** Names the kind of object in messages. */
    abstract String what();

    /** The live handle; refuses a freed object. Releases what the cleaner queued first. */
    final long h() {
        TARNFactory.releasePending();
        return state.live(what());
    }

    /**
     * Gives the native resource back now. Afterwards every use of this object
     * raises {@link IllegalStateException}; freeing it again does nothing.
     */
    public final void free() {
        TARNFactory.releasePending();
        state.release();
        cleanable.clean();
    }

    /**
     * Tells whether {@link #free()} has run, or whether a consuming operation
     * took this object's resource.
     *
     * @return true when the object can no longer be used
     */
    public final boolean isFreed() {
        return state.handle == 0;
    }

    /**
     * Returns the native handle for the static methods of {@link TARNFactory}.
     * The object keeps its reference: the handle is valid while the object lives.
     *
     * @return the node handle or pairing address
     * @throws IllegalStateException when the object has been freed
     */
    public final long handle() {
        return h();
    }

    /** Marks the resource as handed over to a native call that released it. */
    final void consumed() {
        state.handle = 0;
        cleanable.clean();
    }
}
