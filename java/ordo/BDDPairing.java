package ordo;

import java.lang.ref.Reference;

/**
 * A pairing: one entry per variable, each a variable or a function, used to
 * rename ({@link BDD#replace}) or substitute ({@link BDD#veccompose}), and by
 * the game solvers to prime state sets. A new pairing maps every variable to
 * itself. It owns a native record; give it back with {@link #free()}.
 */
public final class BDDPairing extends Owner {
    private final boolean isAdd;

    BDDPairing(long address, boolean isAdd) {
        super(address, TARNFactory.Owned.PAIRING);
        this.isAdd = isAdd;
    }

    @Override
    String what() {
        return "pairing";
    }

    /**
     * Maps variable oldVar to variable newVar.
     *
     * @param oldVar the variable to rename
     * @param newVar its new name
     * @return this pairing
     */
    public BDDPairing set(int oldVar, int newVar) {
        TARNFactory.releasePending();
        TARNFactory.set0(h(), oldVar, newVar, isAdd);
        Reference.reachabilityFence(this);
        return this;
    }

    /**
     * Maps each variable of oldVars to the variable at the same position of newVars.
     *
     * @param oldVars the variables to rename
     * @param newVars their new names
     * @return this pairing
     */
    public BDDPairing set(int[] oldVars, int[] newVars) {
        if (oldVars.length != newVars.length) {
            throw new IllegalArgumentException("the two arrays differ in length");
        }
        for (int i = 0; i < oldVars.length; i++) {
            set(oldVars[i], newVars[i]);
        }
        return this;
    }

    /**
     * Maps variable oldVar to a function, for {@link BDD#veccompose}. The
     * pairing takes a reference of its own; g stays owned by the caller.
     *
     * @param oldVar the variable to substitute
     * @param g the function put in its place
     * @return this pairing
     */
    public BDDPairing set(int oldVar, BDD g) {
        TARNFactory.releasePending();
        TARNFactory.set2(h(), oldVar, g.h());
        Reference.reachabilityFence(this);
        Reference.reachabilityFence(g);
        return this;
    }

    /** Maps every variable to itself again. */
    public void reset() {
        TARNFactory.releasePending();
        TARNFactory.reset0(h(), isAdd);
        Reference.reachabilityFence(this);
    }

    /**
     * Returns the native address, for the static methods of {@link TARNFactory}.
     *
     * @return the address of the pairing record
     */
    public long address() {
        return h();
    }
}
