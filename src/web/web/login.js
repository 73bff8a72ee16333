'use strict';
// The login form: the station answers a wrong password only after a wait that grows with every
// failure, so the button stays off until it has answered.
document.getElementById('login').addEventListener('submit', async (event) => {
  event.preventDefault();
  const error = document.getElementById('error');
  const button = document.getElementById('enter');
  error.textContent = '';
  button.disabled = true;
  try {
    const reply = await fetch('/api/login', {
      method: 'POST',
      body: new URLSearchParams(new FormData(event.target)),
      credentials: 'same-origin',
    });
    if (reply.ok) {
      location.replace('/');
      return;
    }
    const body = await reply.json().catch(() => ({}));
    error.textContent = body.error || 'Błąd ' + reply.status;
  } catch (e) {
    error.textContent = 'Brak połączenia ze stacją';
  }
  button.disabled = false;
});
