console.log('x');
import './style.css';
